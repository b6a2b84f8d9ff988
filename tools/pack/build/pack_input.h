#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvn::pack {

// One file to be packed: the name it is stored under ("/" separators,
// relative to the game folder) and its whole contents.
struct PackInput {
  std::string storedName;
  std::vector<std::uint8_t> contents;
};

// What the naming and size rules need to know of a file before it is read.
struct PackFileInfo {
  std::string storedName;
  std::uint64_t size = 0;
};

}  // namespace qvn::pack
