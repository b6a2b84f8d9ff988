#pragma once

#include <cstdint>
#include <string>

#include "supervision/win/debug_event_wait.h"

namespace qvn {

// Starts Quorvane.exe from the runtime directory inside a kill-on-close job,
// with the portable environment, the launcher's arguments and game.log as its
// output, supervises it to its end, records its exit in the log and returns
// its 32-bit exit status. The launcher's path (for QVN_PORTABLE_ARTIFACT)
// and the debug-event wait are the caller's, read from the loader before
// any other thread of the process could hold its lock: nothing here waits
// for it.
std::uint32_t RunGame(const std::wstring& runtimeDirectory, const std::wstring& dataDirectory,
                      const std::wstring& launcherPath, const DebugEventWait& waitForDebugEvent);

}  // namespace qvn
