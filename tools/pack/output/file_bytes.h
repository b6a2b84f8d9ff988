#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace qvn::pack {

// The whole file. Raises std::runtime_error when it cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);

// Writes the file whole through OutputFile.
void WriteFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace qvn::pack
