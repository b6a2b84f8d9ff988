// Starts a launcher (further arguments passed on) and watches for its
// unpacking window until the launcher ends. Prints the window's title,
// texts and client size in pixels and when it was first seen, or
// "window=none", then the launcher's exit code. It is aware of each
// monitor's DPI, as the launcher is, so sizes come unscaled. (The bar's position is read from screenshots: under Wine
// 8, PBM_GETPOS sent from another process answered 0 while the bar filled.)
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  std::string bytes(text.size() * 3, '\0');
  bytes.resize(
      static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                                   static_cast<int>(bytes.size()), nullptr, nullptr)));
  return bytes;
}

std::string TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return Utf8(text);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  std::wstring commandLine;
  for (int i = 1; i < argc; ++i) commandLine += std::wstring(i > 1 ? L" \"" : L"\"") + argv[i] + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION launcher = {};
  if (argc < 2 ||
      !CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &launcher)) {
    std::printf("cannot start the launcher\n");
    return 2;
  }
  const ULONGLONG started = GetTickCount64();
  std::string seen;
  while (WaitForSingleObject(launcher.hProcess, 5) == WAIT_TIMEOUT) {
    const HWND window = FindWindowW(L"QuorvaneUnpacking", nullptr);
    // Seen once complete: the bar is its last child.
    if (window == nullptr || !seen.empty() ||
        FindWindowExW(window, nullptr, L"msctls_progress32", nullptr) == nullptr) {
      continue;
    }
    seen = "title=\"" + TextOf(window) + "\" texts=\"";
    for (HWND child = FindWindowExW(window, nullptr, L"STATIC", nullptr); child != nullptr;
         child = FindWindowExW(window, child, L"STATIC", nullptr)) {
      seen += TextOf(child) + "|";
    }
    RECT client = {};
    GetClientRect(window, &client);
    seen += "\" client=" + std::to_string(client.right) + "x" + std::to_string(client.bottom);
    seen += " seen_after_ms=" + std::to_string(GetTickCount64() - started);
  }
  DWORD code = 0;
  GetExitCodeProcess(launcher.hProcess, &code);
  CloseHandle(launcher.hThread);
  CloseHandle(launcher.hProcess);
  if (seen.empty()) {
    std::printf("window=none\n");
  } else {
    std::printf("window=seen %s\n", seen.c_str());
  }
  std::printf("exit=0x%08lX\n", static_cast<unsigned long>(code));
  return 0;
}
