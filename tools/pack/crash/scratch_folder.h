#pragma once

#include <filesystem>

namespace qvn::pack {

// A new folder in the system's temporary folder, removed with all it holds
// when this goes: where images read from a launcher are put for a program
// that needs them as files.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace qvn::pack
