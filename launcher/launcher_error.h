#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qvn {

// The launcher's one failure type. It derives from the standard library's
// failure base, so the top-level handler catches it together with the
// library's own failures (allocation, length limits, conversions).
class LauncherError : public std::runtime_error {
 public:
  explicit LauncherError(const std::string& text);

  // The Windows error code is rendered into the text, never kept apart:
  // "<text> (Windows error <unsigned decimal>)".
  LauncherError(const std::string& text, std::uint32_t windowsErrorCode);
};

std::string WithWindowsErrorCode(const std::string& text, std::uint32_t windowsErrorCode);

}  // namespace qvn
