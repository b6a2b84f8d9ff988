// The launcher with one change: its window thread first loads the slow
// library beside it (see slow_library.cpp), as a thread stuck in user32's
// start would, then goes on as usual.
#include <windows.h>

#include <string>

#include "launcher/main_sequence.h"

namespace {

void ShowAfterSlowLibrary(HANDLE stop, const qvn::WorkProgress& progress, qvn::WindowShowing& showing) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring library(path, length);
  library = library.substr(0, library.find_last_of(L'\\') + 1) + L"qvn_test_slow_library.dll";
  LoadLibraryW(library.c_str());
  qvn::ShowUnpackingWindow(stop, progress, showing);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  return static_cast<int>(qvn::RunLauncher(&ShowAfterSlowLibrary));
}
