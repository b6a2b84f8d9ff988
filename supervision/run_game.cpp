#include "supervision/run_game.h"

#include <windows.h>

#include "launcher/path_composition.h"
#include "launcher/unique_handle.h"
#include "launcher/windows_error.h"

namespace qvn {

// Interim launch: starts the game and waits for it. The job, environment,
// log and supervision come with the full launch.
std::uint32_t RunGame(const std::wstring& runtimeDirectory, const std::wstring&) {
  std::wstring exe = JoinPath(runtimeDirectory, L"Quorvane.exe");
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  RequireSuccess(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &process),
                 "Cannot launch embedded game");
  UniqueHandle processHandle(process.hProcess);
  UniqueHandle threadHandle(process.hThread);
  WaitForSingleObject(processHandle.get(), INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(processHandle.get(), &status);
  return status;
}

}  // namespace qvn
