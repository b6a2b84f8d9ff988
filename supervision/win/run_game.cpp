#include "supervision/win/run_game.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <optional>
#include <utility>

#include "base/error.h"
#include "base/path_composition.h"
#include "base/win/own_file.h"
#include "base/win/unique_handle.h"
#include "base/win/windows_error.h"
#include "payload/payload_contract.h"
#include "supervision/quote_argument.h"
#include "supervision/win/game_job.h"
#include "supervision/win/game_log.h"
#include "supervision/win/game_process.h"
#include "supervision/win/supervise_game.h"

namespace qvn {
namespace {

constexpr char kHeapLineReleaseDefault[] = "QVN_LAUNCH_HEAP policy=release_default fatal_capture=enabled\n";
constexpr char kHeapLineInherited[] = "QVN_LAUNCH_HEAP policy=inherited fatal_capture=enabled\n";

// The state of one launch. The members are declared in the order they are
// acquired, so they are released in the opposite order on every way out:
// thread, process, job, input file, log file.
struct GameLaunch {
  bool crashCaptureEnabled = false;
  bool heapPolicySet = false;
  UniqueHandle logFile;
  UniqueHandle inputFile;
  UniqueGameJob job;
  GameProcess game;
};

struct LocalFreeDeleter {
  void operator()(LPWSTR* arguments) const { LocalFree(arguments); }
};

// A launcher packed with --crash-capture carries the one-byte resource.
bool IsCrashCaptureBuiltIn() {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(kCrashCaptureResourceId), MAKEINTRESOURCEW(10));
  if (resource == nullptr || SizeofResource(nullptr, resource) != 1) return false;
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  return bytes != nullptr && *static_cast<const std::uint8_t*>(bytes) == kCrashCaptureAlways;
}

bool IsCrashCaptureRequested() {
  // Room for one character and the terminator: any longer value reports the
  // size it needs instead, so only exactly "1" passes.
  wchar_t value[2] = {};
  return (GetEnvironmentVariableW(L"QVN_CRASH_CAPTURE", value, 2) == 1 && value[0] == L'1') || IsCrashCaptureBuiltIn();
}

// Returns whether the launcher set "_NO_DEBUG_HEAP" itself. Only crash
// capture mode sets it, and only where the user has not chosen a value: a
// debugged game would otherwise get the debug heap, which changes the very
// heap faults we want to capture.
bool SettleHeapPolicy(bool crashCaptureEnabled) {
  SetLastError(0);
  const DWORD result = GetEnvironmentVariableW(L"_NO_DEBUG_HEAP", nullptr, 0);
  const DWORD error = GetLastError();
  if (result != 0) return false;
  if (crashCaptureEnabled && error == ERROR_ENVVAR_NOT_FOUND) {
    RequireSuccess(SetEnvironmentVariableW(L"_NO_DEBUG_HEAP", L"1"), "Cannot preserve ordinary game heap policy");
    return true;
  }
  if (error != 0 && error != ERROR_ENVVAR_NOT_FOUND) throw Error("Cannot inspect game heap policy", error);
  return false;
}

void SetGameEnvironment(const std::wstring& runtimeDirectory, const std::wstring& dataDirectory,
                        const std::wstring& launcherPath) {
  RequireSuccess(SetEnvironmentVariableW(L"APP_FOLDER_PATH", dataDirectory.c_str()), "Cannot set portable data root");
  RequireSuccess(SetEnvironmentVariableW(L"QVN_PORTABLE_ARTIFACT", launcherPath.c_str()),
                 "Cannot identify portable artifact");
  const std::wstring temporaryDirectory = JoinPath(runtimeDirectory, kRuntimeTempFolderName.wide());
  RequireSuccess(SetEnvironmentVariableW(L"TEMP", temporaryDirectory.c_str()), "Cannot set portable temporary root");
  RequireSuccess(SetEnvironmentVariableW(L"TMP", temporaryDirectory.c_str()), "Cannot set portable temporary root");
}

// The game's exe path takes the place of the launcher's own argv[0]; every
// further argument is passed on quoted, so the game splits out exactly what
// the launcher was given.
std::wstring BuildGameCommandLine(const std::wstring& exePath) {
  int argumentCount = 0;
  std::unique_ptr<LPWSTR, LocalFreeDeleter> arguments(CommandLineToArgvW(GetCommandLineW(), &argumentCount));
  if (!arguments) RaiseLastError("Cannot read portable command line");
  std::wstring commandLine = QuoteArgument(exePath);
  for (int index = 1; index < argumentCount; ++index) {
    commandLine += L' ';
    commandLine += QuoteArgument(arguments.get()[index]);
  }
  return commandLine;
}

SECURITY_ATTRIBUTES InheritableHandleAttributes() {
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof attributes;
  attributes.bInheritHandle = TRUE;
  return attributes;
}

// Opened without following a link, and refused before anything is truncated
// if it is one: the log must never write through to some other file.
UniqueHandle OpenGameLog(const std::wstring& dataDirectory) {
  const std::wstring path = JoinPath(dataDirectory, kGameLogName.wide());
  SECURITY_ATTRIBUTES inheritable = InheritableHandleAttributes();
  UniqueHandle log(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, OPEN_ALWAYS,
                               kOpenWithoutFollowingLinks, nullptr));
  if (!log.valid()) RaiseLastError("Cannot create portable game log");
  const std::optional<bool> ownFile = IsOwnFile(log.get());
  if (!ownFile) RaiseLastError("Cannot inspect portable game log");
  if (!*ownFile) throw Error("Portable game log cannot be a link");
  RequireSuccess(SetEndOfFile(log.get()), "Cannot reset portable game log");
  return log;
}

UniqueHandle OpenGameInput() {
  SECURITY_ATTRIBUTES inheritable = InheritableHandleAttributes();
  UniqueHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!input.valid()) RaiseLastError("Cannot open game input");
  return input;
}

// Closing the job's last handle ends the game and everything it started, also
// when the launcher itself is killed.
UniqueGameJob CreateGameJob() {
  UniqueGameJob job(CreateJobObjectW(nullptr, nullptr));
  if (!job.valid()) RaiseLastError("Cannot create portable game lifetime owner");
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  RequireSuccess(SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits),
                 "Cannot configure game lifetime");
  return job;
}

// The game is already in its job; assigning it to the same job again
// succeeds and confirms that, and would still put it there in time on a
// system that ignored the attribute. A game that cannot be confirmed in its
// job or resumed is stopped before it ran any code of its own and seen to its
// end; the failure names the step that failed, not the clean-up.
void StartOwnedGame(GameLaunch& launch, const std::wstring& dataDirectory, const DebugEventWait& waitForDebugEvent) {
  if (AssignProcessToJobObject(launch.job.get(), launch.game.process.get()) &&
      ResumeThread(launch.game.thread.get()) != static_cast<DWORD>(-1)) {
    return;
  }
  const DWORD startError = GetLastError();
  RequireSuccess(TerminateProcess(launch.game.process.get(), 1), "Cannot stop game after failed start");
  SuperviseGame(launch.game.process.get(), launch.logFile.get(), dataDirectory, launch.crashCaptureEnabled,
                waitForDebugEvent);
  throw Error("Cannot start owned game process", startError);
}

}  // namespace

std::uint32_t RunGame(const std::wstring& runtimeDirectory, const std::wstring& dataDirectory,
                      const std::wstring& launcherPath, const DebugEventWait& waitForDebugEvent) {
  GameLaunch launch;
  launch.crashCaptureEnabled = IsCrashCaptureRequested();
  launch.heapPolicySet = SettleHeapPolicy(launch.crashCaptureEnabled);
  SetGameEnvironment(runtimeDirectory, dataDirectory, launcherPath);

  const std::wstring exePath = JoinPath(runtimeDirectory, kMainExecutableName.wide());
  std::wstring commandLine = BuildGameCommandLine(exePath);

  launch.logFile = OpenGameLog(dataDirectory);
  if (launch.crashCaptureEnabled) {
    const char* heapLine = launch.heapPolicySet ? kHeapLineReleaseDefault : kHeapLineInherited;
    const DWORD length =
        static_cast<DWORD>(launch.heapPolicySet ? sizeof kHeapLineReleaseDefault - 1 : sizeof kHeapLineInherited - 1);
    AppendToGameLog(launch.logFile.get(), heapLine, length);
  }

  launch.inputFile = OpenGameInput();
  launch.job = CreateGameJob();
  launch.game = CreateGameProcess({.exePath = exePath,
                                   .commandLine = std::move(commandLine),
                                   .job = launch.job.get(),
                                   .input = launch.inputFile.get(),
                                   .output = launch.logFile.get(),
                                   .debugged = launch.crashCaptureEnabled});
  StartOwnedGame(launch, dataDirectory, waitForDebugEvent);

  const std::uint32_t status = SuperviseGame(launch.game.process.get(), launch.logFile.get(), dataDirectory,
                                             launch.crashCaptureEnabled, waitForDebugEvent);
  AppendExitRecord(launch.logFile.get(), status);
  return status;
}

}  // namespace qvn
