#pragma once

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <string>
#include <system_error>
#include <vector>

namespace qvn::testing {

// A fresh folder of its own, named "qvn-LABEL-" and a unique suffix,
// removed with everything in it afterwards.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& label = "") {
    std::string pattern = (std::filesystem::temp_directory_path() / ("qvn-" + label + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes a file below the folder, making the folders on its way.
  std::filesystem::path Write(const std::string& relative, const std::vector<std::uint8_t>& bytes) const {
    std::filesystem::path file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace qvn::testing
