#include "launcher/report_failure.h"

#include <windows.h>

#include <string>

#include "base/win/standard_error_line.h"
#include "base/win/unique_handle.h"
#include "base/win/wide_text.h"

namespace qvn {
namespace {

void ShowMessageBox(const std::string& report) {
  const std::wstring text = Utf8ToWideForDisplay(report);
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
