// Stands for a user32 whose start waits for seconds with the loader lock
// held (Wine waiting for its desktop process): its DllMain sleeps. It
// writes to the file QVN_SLOW_LIBRARY_EVENTS names when it starts, and when
// it wakes what the file QVN_SLOW_LIBRARY_WATCH (the game's log) held then.
#include <windows.h>

#include <string>

namespace {

// No longer than the launcher's longest wait for a window that is up (5 s),
// so that a launcher which waited for this thread too would start the game
// only after the library woke.
constexpr DWORD kSleepMilliseconds = 5000;

std::wstring Variable(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

void Append(const std::string& line) {
  const HANDLE file = CreateFileW(Variable(L"QVN_SLOW_LIBRARY_EVENTS").c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

// The start of the watched file on one line, or "absent"/"empty".
std::string WatchedText() {
  const HANDLE file =
      CreateFileW(Variable(L"QVN_SLOW_LIBRARY_WATCH").c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "absent";
  char bytes[1024] = {};
  DWORD read = 0;
  ReadFile(file, bytes, sizeof bytes - 1, &read, nullptr);
  CloseHandle(file);
  std::string text(bytes, read);
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = '|';
  }
  return text.empty() ? "empty" : text;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  Append("slow library: loading\n");
  Sleep(kSleepMilliseconds);
  Append("slow library: loaded, game log then: " + WatchedText() + "\n");
  return TRUE;
}
