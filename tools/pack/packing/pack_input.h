#pragma once

#include <cstdint>
#include <string>

namespace qvn::pack {

// What the naming and size rules need to know of a file before it is read.
struct PackFileInfo {
  std::string storedName;
  std::uint64_t size = 0;
};

}  // namespace qvn::pack
