#pragma once

#include <cstdint>
#include <filesystem>

#include "base/scoped_handle.h"

namespace qvn::pack {

// Asks the system to start writing a file's bytes to disk as they come,
// rather than leaving them all to the end: on Linux (ext4), renaming a new
// file over an older one, as OutputFile::Commit does, first starts writing
// every byte of it not yet started, and waits on that. Where the system
// needs no such help, or the file cannot be opened for it, it does nothing.
class DiskWriteback {
 public:
  explicit DiskWriteback(const std::filesystem::path& path);
  ~DiskWriteback();
  DiskWriteback(const DiskWriteback&) = delete;
  DiskWriteback& operator=(const DiskWriteback&) = delete;

  // Told that `bytes` more bytes were written at the file's end.
  void Written(std::uint64_t bytes);

 private:
  struct DescriptorTraits {
    using Value = int;
    static int Empty() { return -1; }
    static bool IsValid(int descriptor) { return descriptor >= 0; }
    static void Close(int descriptor);
  };
  // Unused where the system needs no help.
  ScopedHandle<DescriptorTraits> descriptor_;
  [[maybe_unused]] std::uint64_t written_ = 0;
  [[maybe_unused]] std::uint64_t started_ = 0;  // bytes whose writing has been asked for
};

}  // namespace qvn::pack
