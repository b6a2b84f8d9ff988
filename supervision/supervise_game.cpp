#include "supervision/supervise_game.h"

#include "launcher/launcher_error.h"
#include "launcher/windows_error.h"

namespace qvn {
namespace {

std::uint32_t WaitForGameExit(HANDLE process) {
  if (WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) RaiseLastError("Cannot wait for game exit");
  DWORD status = 0;
  RequireSuccess(GetExitCodeProcess(process, &status), "Cannot read game exit status");
  return status;
}

}  // namespace

std::uint32_t SuperviseGame(HANDLE process, HANDLE logFile, const std::wstring& dataDirectory,
                            bool crashCaptureEnabled) {
  static_cast<void>(logFile);
  static_cast<void>(dataDirectory);
  if (crashCaptureEnabled) throw LauncherError("Crash capture supervision is not available yet");
  return WaitForGameExit(process);
}

}  // namespace qvn
