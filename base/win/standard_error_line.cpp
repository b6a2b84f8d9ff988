#include "base/win/standard_error_line.h"

#include <cstdio>

namespace qvn {

bool WriteToStandardError(std::string_view bytes) noexcept {
  HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
  if (standardError == nullptr || standardError == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  return WriteFile(standardError, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
}

void WriteFailureToStandardError(const char* what, DWORD code) noexcept {
  char line[256] = {};
  const int length =
      std::snprintf(line, sizeof line, "%s (Windows error %lu)\n", what, static_cast<unsigned long>(code));
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof line) return;
  WriteToStandardError({line, static_cast<std::size_t>(length)});
}

}  // namespace qvn
