#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>

#include "tools/pack/atomic_write/disk_writeback.h"

namespace qvn::pack {

// A file written under a sibling "<name>.partial" and renamed over its
// name by Commit, so that a reader (or a build that was interrupted) never
// sees a half-written file. Left without Commit, the partial file is
// removed. Raises Error when writing fails.
class OutputFile {
 public:
  explicit OutputFile(const std::filesystem::path& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(std::span<const std::uint8_t> bytes);
  // Closes the file and says where it lies, to read it back: a file closed
  // and never committed is a scratch file, removed at the end all the same.
  const std::filesystem::path& Close();
  // Closes the file and, once `check` (if any) accepts what was written,
  // gives it its name; a check that raises leaves the name as it was.
  void Commit(const std::function<void(const std::filesystem::path& written)>& check = {});

 private:
  std::filesystem::path path_;
  std::filesystem::path partial_;
  std::ofstream stream_;
  int openError_;            // errno of the stream's open, before writeback_ can change it
  DiskWriteback writeback_;  // after stream_: of the file it opened
  bool committed_ = false;
};

}  // namespace qvn::pack
