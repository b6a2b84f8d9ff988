#pragma once

#include <unistd.h>

#include "base/scoped_handle.h"

namespace qvn::pack {

// A file descriptor opened only to read or to ask about the file: a failed
// close loses nothing.
struct ReadOnlyDescriptorTraits {
  using Value = int;
  static int Empty() { return -1; }
  static bool IsValid(int descriptor) { return descriptor >= 0; }
  static void Close(int descriptor) { static_cast<void>(close(descriptor)); }
};

using ReadOnlyDescriptor = ScopedHandle<ReadOnlyDescriptorTraits>;

}  // namespace qvn::pack
