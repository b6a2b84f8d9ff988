#include "tools/pack/cli/packer_directory.h"

#include <filesystem>

namespace qvn::pack {

std::filesystem::path PackerDirectory() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

}  // namespace qvn::pack
