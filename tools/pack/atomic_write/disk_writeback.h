#pragma once

#include <cstdint>
#include <filesystem>

#include "tools/pack/atomic_write/read_only_descriptor.h"

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
  // Unused where the system needs no help.
  ReadOnlyDescriptor descriptor_;
  [[maybe_unused]] std::uint64_t written_ = 0;
  [[maybe_unused]] std::uint64_t started_ = 0;  // bytes whose writing has been asked for
};

}  // namespace qvn::pack
