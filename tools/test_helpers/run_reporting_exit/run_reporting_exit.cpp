// Runs a program with this process's standard handles, waits for it and
// prints its full 32-bit exit code. Seen from Linux, Wine's own exit status
// keeps only the low 8 bits of a Windows program's code.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fwprintf(stderr, L"usage: qvn_run_reporting_exit PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  // The rest of this program's own command line, unchanged, after argv[0].
  std::wstring commandLine = GetCommandLineW();
  const wchar_t* rest = commandLine.c_str();
  const bool quoted = *rest == L'"';
  ++rest;
  while (*rest != L'\0' && (quoted ? *rest != L'"' : *rest != L' ' && *rest != L'\t')) ++rest;
  if (quoted && *rest == L'"') ++rest;
  while (*rest == L' ' || *rest == L'\t') ++rest;
  std::wstring childCommandLine = rest;

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, childCommandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fwprintf(stderr, L"cannot start %ls (Windows error %lu)\n", argv[1], GetLastError());
    return 2;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  std::printf("exit code: 0x%08lX (%lu)\n", exitCode, exitCode);
  return static_cast<int>(exitCode);
}
