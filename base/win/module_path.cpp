#include "base/win/module_path.h"

#include <algorithm>
#include <vector>

#include "base/error.h"
#include "base/win/windows_error.h"

namespace qvn {
namespace {

constexpr DWORD kInitialPathUnits = 256;
constexpr DWORD kMaximumPathUnits = 0x8000;

}  // namespace

std::wstring GetLauncherPathUsing(const std::function<DWORD(wchar_t*, DWORD)>& query) {
  std::vector<wchar_t> buffer(kInitialPathUnits, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = query(buffer.data(), size);
    if (length == 0) RaiseLastError("Cannot locate portable EXE");
    if (length < size) return std::wstring(buffer.data(), length);
    // A result equal to the size means the path was cut short.
    if (size >= kMaximumPathUnits) throw Error("Portable executable path is too long");
    buffer.resize(std::min(size * 2, kMaximumPathUnits), L'\0');
  }
}

std::wstring GetLauncherPath() {
  return GetLauncherPathUsing([](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
}

}  // namespace qvn
