#pragma once

#include <windows.h>

#include "base/win/unique_handle.h"

namespace qvn {

// The game's kill-on-close job. Its release ends every process still in it
// and waits, for a bounded time, until they are gone before the handle is
// closed: termination is asynchronous, and the runtime directory can only be
// removed once no process runs from it or holds its files.
struct GameJobTraits {
  using Value = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE job);
};

using UniqueGameJob = ScopedHandle<GameJobTraits>;

}  // namespace qvn
