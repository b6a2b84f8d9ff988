#include "supervision/win/supervise_game.h"

#include "base/win/unique_handle.h"
#include "base/win/windows_error.h"
#include "supervision/debug_event_rules.h"
#include "supervision/monitor_counters.h"
#include "supervision/win/crash_capture.h"
#include "supervision/win/debug_event_wait.h"
#include "supervision/win/game_log.h"
#include "supervision/win/monitor_summary.h"

namespace qvn {
namespace {

constexpr char kCrashMonitorLine[] = "QVN_CRASH_MONITOR armed=1 owner=portable-parent mode=fatal-exception\n";
// Short enough that summaries keep coming while the game raises no events.
constexpr DWORD kDebugEventWaitMilliseconds = 2000;

std::uint32_t WaitForGameExit(HANDLE process) {
  if (WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) RaiseLastError("Cannot wait for game exit");
  DWORD status = 0;
  RequireSuccess(GetExitCodeProcess(process, &status), "Cannot read game exit status");
  return status;
}

// Reads the counter for the handling time; a failed read leaves 0, which the
// caller's ordering check turns into "not counted".
std::int64_t ReadTicks() {
  LARGE_INTEGER ticks = {};
  QueryPerformanceCounter(&ticks);
  return ticks.QuadPart;
}

DebugEventFacts FactsOf(const DEBUG_EVENT& event) {
  DebugEventFacts facts;
  facts.code = event.dwDebugEventCode;
  if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
    facts.firstChance = event.u.Exception.dwFirstChance != 0;
    facts.exceptionCode = event.u.Exception.ExceptionRecord.ExceptionCode;
  }
  return facts;
}

// The image and DLL file handles of these events belong to the debugger; the
// process and thread handles that come with them do not.
void CloseEventFile(const DEBUG_EVENT& event) {
  HANDLE file =
      event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT ? event.u.CreateProcessInfo.hFile : event.u.LoadDll.hFile;
  UniqueHandle owned(file);
}

// The game runs as this thread's debuggee: every debug event stops it until
// the event is continued, so every one is taken and answered here.
std::uint32_t MonitorDebugEvents(HANDLE process, HANDLE logFile, const std::wstring& dataDirectory,
                                 const DebugEventWait& waitForDebugEvent) {
  AppendToGameLog(logFile, kCrashMonitorLine, sizeof kCrashMonitorLine - 1);
  MonitorCounters counters;
  DebugMonitorState state;
  LARGE_INTEGER clock = {};
  RequireSuccess(QueryPerformanceFrequency(&clock), "Cannot read diagnostic clock frequency");
  counters.counterFrequency = clock.QuadPart;
  RequireSuccess(QueryPerformanceCounter(&clock), "Cannot read diagnostic clock");
  counters.startTicks = clock.QuadPart;
  counters.lastSummaryTicks = clock.QuadPart;

  std::uint32_t exitStatus = 0;
  for (;;) {
    DEBUG_EVENT event = {};
    if (!waitForDebugEvent(event, kDebugEventWaitMilliseconds)) {
      if (GetLastError() != ERROR_SEM_TIMEOUT) RaiseLastError("Cannot wait for game diagnostic event");
      WriteMonitorSummary(counters, process, logFile, false);
      continue;
    }
    const std::int64_t handlingStart = ReadTicks();
    const DebugEventAnswer answer = AnswerDebugEvent(FactsOf(event), counters, state);
    if (answer.closeFileHandle) CloseEventFile(event);
    // Runs before the event is continued, while the whole game is stopped.
    if (answer.captureCrash) CaptureCrash(process, logFile, dataDirectory, event);
    if (answer.gameExited) exitStatus = event.u.ExitProcess.dwExitCode;
    RequireSuccess(ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer.continueStatus),
                   "Cannot continue game diagnostic event");
    const std::int64_t handlingEnd = ReadTicks();
    if (handlingEnd >= handlingStart) counters.handlingTicks += static_cast<std::uint64_t>(handlingEnd - handlingStart);
    WriteMonitorSummary(counters, process, logFile, answer.gameExited);
    if (answer.gameExited) break;
  }
  if (WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) RaiseLastError("Cannot finalize game exit");
  return exitStatus;
}

}  // namespace

std::uint32_t SuperviseGame(HANDLE process, HANDLE logFile, const std::wstring& dataDirectory, bool crashCaptureEnabled,
                            const DebugEventWait& waitForDebugEvent) {
  if (crashCaptureEnabled) return MonitorDebugEvents(process, logFile, dataDirectory, waitForDebugEvent);
  return WaitForGameExit(process);
}

}  // namespace qvn
