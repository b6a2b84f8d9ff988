#include "tools/pack/crash/scratch_folder.h"

#include <random>
#include <string>

namespace qvn::pack {

ScratchFolder::ScratchFolder() {
  std::random_device random;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0;; ++attempt) {
    const std::filesystem::path candidate = base / ("qvn-crash-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
    if (attempt == 100) throw std::filesystem::filesystem_error("cannot make a scratch folder", base, {});
  }
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace qvn::pack
