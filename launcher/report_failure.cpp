#include "launcher/report_failure.h"

#include <windows.h>

#include <string>

#include "base/win/unique_handle.h"

namespace qvn {
namespace {

bool WriteToStandardError(const std::string& report) {
  HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
  if (standardError == nullptr || standardError == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  return WriteFile(standardError, report.data(), static_cast<DWORD>(report.size()), &written, nullptr) != 0;
}

void ShowMessageBox(const std::string& report) {
  // Flags 0: malformed UTF-8 becomes a replacement character rather than
  // hiding the whole report.
  const int length = static_cast<int>(report.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, report.data(), length, nullptr, 0);
  std::wstring text(units > 0 ? static_cast<std::size_t>(units) : 0, L'\0');
  if (units > 0) MultiByteToWideChar(CP_UTF8, 0, report.data(), length, text.data(), units);
  // user32 is loaded here rather than imported: an import makes every start
  // pay for its initialisation (10 to 40 ms under Wine) for a box that only
  // a failure shows.
  const UniqueModule user32(LoadLibraryExW(L"user32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (!user32.valid()) return;
  const auto messageBox =
      reinterpret_cast<decltype(&MessageBoxW)>(reinterpret_cast<void*>(GetProcAddress(user32.get(), "MessageBoxW")));
  if (messageBox != nullptr) messageBox(nullptr, text.c_str(), L"Quorvane", MB_OK | MB_ICONERROR);
}

}  // namespace

void ReportFailure(std::string_view utf8Text) noexcept {
  try {
    std::string report = "Quorvane portable: ";
    report += utf8Text;
    report += '\n';
    if (!WriteToStandardError(report)) ShowMessageBox(report);
  } catch (...) {
    // Out of memory while composing: nothing left that could tell the user.
  }
}

}  // namespace qvn
