#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qvn::pack {

// "1 file", "2 files": a count with its noun, which takes an "s" unless
// the count is one.
inline std::string Counted(std::uint64_t count, std::string_view noun) {
  return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

}  // namespace qvn::pack
