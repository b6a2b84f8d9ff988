#include "base/win/standard_error_line.h"

#include <cstdio>

namespace qvn {

void WriteFailureToStandardError(const char* what, DWORD code) noexcept {
  char line[256] = {};
  const int length =
      std::snprintf(line, sizeof line, "%s (Windows error %lu)\n", what, static_cast<unsigned long>(code));
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof line) return;
  HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
  if (standardError == nullptr || standardError == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(standardError, line, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace qvn
