#include "launcher/launcher_error.h"

namespace qvn {

std::string WithWindowsErrorCode(const std::string& text, std::uint32_t windowsErrorCode) {
  return text + " (Windows error " + std::to_string(windowsErrorCode) + ")";
}

LauncherError::LauncherError(const std::string& text) : std::runtime_error(text) {}

LauncherError::LauncherError(const std::string& text, std::uint32_t windowsErrorCode)
    : std::runtime_error(WithWindowsErrorCode(text, windowsErrorCode)) {}

}  // namespace qvn
