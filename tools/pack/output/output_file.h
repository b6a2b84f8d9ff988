#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>

#include "tools/pack/output/disk_writeback.h"

namespace qvn::pack {

// A file written under a sibling "<name>.partial" and renamed over its
// name by Commit, so that a reader (or a build that was interrupted) never
// sees a half-written file. Left without Commit, the partial file is
// removed. Raises std::runtime_error when writing fails.
class OutputFile {
 public:
  explicit OutputFile(const std::filesystem::path& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(std::span<const std::uint8_t> bytes);
  void Commit();

 private:
  std::filesystem::path path_;
  std::filesystem::path partial_;
  std::ofstream stream_;
  DiskWriteback writeback_;  // after stream_: of the file it opened
  bool committed_ = false;
};

}  // namespace qvn::pack
