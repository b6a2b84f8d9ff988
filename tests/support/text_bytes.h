#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace qvn::testing {

// The bytes of a text, as a file made up in a test holds them.
inline std::vector<std::uint8_t> Text(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace qvn::testing
