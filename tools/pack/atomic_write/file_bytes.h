#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

namespace qvn::pack {

// The whole file. Raises Error when it cannot be read or is a folder.
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);

// Writes the file whole through OutputFile; `check`, as for Commit.
void WriteFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                    const std::function<void(const std::filesystem::path& written)>& check = {});

}  // namespace qvn::pack
