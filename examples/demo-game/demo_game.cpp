// The demo game that the default portable launcher carries. It shows what a
// game receives from the launcher (its arguments and the portable
// environment), writes a file into its TEMP as a game would, and on request
// ends the way a failing game does, so that the launcher's reports can be
// seen:
//
//   Quorvane.exe             exit 0
//   Quorvane.exe exit N      exit with status N (decimal, or hex with 0x)
//   Quorvane.exe crash       an access violation

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr const wchar_t* kPortableVariables[] = {L"APP_FOLDER_PATH", L"QVN_PORTABLE_ARTIFACT", L"TEMP", L"TMP",
                                                 L"QVN_CRASH_CAPTURE"};

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  return bytes;
}

// An unset variable reads as empty; `isSet` tells it from a set, empty one.
std::wstring Variable(const wchar_t* name, bool& isSet) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  isSet = size != 0;
  if (!isSet) return {};
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

void PrintEnvironment() {
  for (const wchar_t* name : kPortableVariables) {
    bool isSet = false;
    const std::wstring value = Variable(name, isSet);
    std::printf("%s=%s\n", Utf8(name).c_str(), isSet ? Utf8(value).c_str() : "(not set)");
  }
}

void WriteTempFile() {
  bool isSet = false;
  const std::wstring temp = Variable(L"TEMP", isSet);
  if (!isSet) return;
  const std::wstring path = temp + L"\\quorvane-demo.txt";
  FILE* file = _wfopen(path.c_str(), L"wb");
  bool written = file != nullptr && std::fputs("Written by the Quorvane demo into its TEMP.\n", file) >= 0;
  if (file != nullptr && std::fclose(file) != 0) written = false;
  if (written) {
    std::printf("wrote %s\n", Utf8(path).c_str());
  } else {
    std::printf("could not write %s\n", Utf8(path).c_str());
  }
}

void CrashWithAccessViolation() {
  // Read through volatile, so the compiler cannot see the null write and
  // turn it into a trap instruction: the fault must be a real 0xC0000005.
  volatile std::uintptr_t address = 0;
  *reinterpret_cast<volatile int*>(address) = 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::printf("Hello from the Quorvane demo.\n");
  for (int i = 1; i < argc; ++i) std::printf("argument %d: %s\n", i, Utf8(argv[i]).c_str());
  PrintEnvironment();
  WriteTempFile();
  std::fflush(stdout);

  if (argc >= 2 && std::wcscmp(argv[1], L"crash") == 0) {
    CrashWithAccessViolation();
  }
  if (argc >= 3 && std::wcscmp(argv[1], L"exit") == 0) {
    return static_cast<int>(std::wcstoul(argv[2], nullptr, 0));
  }
  return 0;
}
