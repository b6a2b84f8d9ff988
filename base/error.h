#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qvn {

// The project's one failure type. It derives from the standard library's
// failure base, so a top-level handler catches it together with the
// library's own failures (allocation, length limits, conversions).
class Error : public std::runtime_error {
 public:
  explicit Error(std::string_view text);

  // The Windows error code is rendered into the text, never kept apart:
  // "<text> (Windows error <unsigned decimal>)".
  Error(std::string_view text, std::uint32_t windowsErrorCode);
};

std::string WithWindowsErrorCode(std::string_view text, std::uint32_t windowsErrorCode);

}  // namespace qvn
