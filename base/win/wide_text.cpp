#include "base/win/wide_text.h"

#include <windows.h>

#include <system_error>

namespace qvn {
namespace {

int ConvertToUtf8(DWORD flags, std::wstring_view text, char* output, int capacity) {
  return WideCharToMultiByte(CP_UTF8, flags, text.data(), static_cast<int>(text.size()), output, capacity, nullptr,
                             nullptr);
}

[[noreturn]] void RaiseConversionFailure() {
  const DWORD code = GetLastError();
  throw std::system_error(static_cast<int>(code), std::system_category());
}

}  // namespace

std::string WideToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  DWORD flags = WC_ERR_INVALID_CHARS;
  int size = ConvertToUtf8(flags, text, nullptr, 0);
  if (size == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
    // Systems without the strict flag convert without it.
    flags = 0;
    size = ConvertToUtf8(flags, text, nullptr, 0);
  }
  if (size == 0) RaiseConversionFailure();
  std::string utf8(static_cast<std::size_t>(size), '\0');
  if (ConvertToUtf8(flags, text, utf8.data(), size) == 0) RaiseConversionFailure();
  return utf8;
}

std::wstring Utf8ToWideForDisplay(std::string_view text) {
  // Flags 0: no MB_ERR_INVALID_CHARS, so bad bytes are replaced, not refused.
  const int length = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  std::wstring wide(units > 0 ? static_cast<std::size_t>(units) : 0, L'\0');
  if (units > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), units);
  return wide;
}

}  // namespace qvn
