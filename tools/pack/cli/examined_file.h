#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace qvn::pack {

// The launcher or payload that `list`, `verify` and `extract` look at,
// whole. A folder is refused as what it is, not read as a file.
std::vector<std::uint8_t> ReadExaminedFile(const std::filesystem::path& file);

}  // namespace qvn::pack
