#include <filesystem>

#include "tools/pack/cli/shipping_commands.h"

namespace qvn::pack {

std::filesystem::path PackerDirectory() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

}  // namespace qvn::pack
