#include "base/error.h"

namespace qvn {

std::string WithWindowsErrorCode(std::string_view text, std::uint32_t windowsErrorCode) {
  return std::string(text) + " (Windows error " + std::to_string(windowsErrorCode) + ")";
}

Error::Error(std::string_view text) : std::runtime_error(std::string(text)) {}

Error::Error(std::string_view text, std::uint32_t windowsErrorCode)
    : std::runtime_error(WithWindowsErrorCode(text, windowsErrorCode)), windowsErrorCode_(windowsErrorCode) {}

Error::Error(std::string_view text, std::uint32_t windowsErrorCode, UnstatedCode)
    : std::runtime_error(std::string(text)), windowsErrorCode_(windowsErrorCode) {}

Error Error::WithUnstatedCode(std::string_view text, std::uint32_t windowsErrorCode) {
  return Error(text, windowsErrorCode, UnstatedCode{});
}

}  // namespace qvn
