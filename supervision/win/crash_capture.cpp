#include "supervision/win/crash_capture.h"

#include <dbghelp.h>
#include <psapi.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>

#include "base/error.h"
#include "base/path_composition.h"
#include "base/win/own_file.h"
#include "base/win/windows_error.h"
#include "payload/payload_contract.h"
#include "supervision/build_identity.h"
#include "supervision/crash_report_format.h"
#include "supervision/win/game_log.h"

namespace qvn {
namespace {

constexpr DWORD kThreadContextAccess = THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION;
constexpr auto kDumpType = static_cast<MINIDUMP_TYPE>(MiniDumpWithThreadInfo | MiniDumpWithUnloadedModules);
constexpr char kUnavailableModule[] = "unavailable";

// Everything one capture gathers, in fixed buffers: the game is stopped and
// possibly out of memory, so the capture does not grow anything.
struct CrashSnapshot {
  EXCEPTION_RECORD exceptionRecord = {};
  CONTEXT context = {};  // the platform declares CONTEXT 16-byte aligned
  bool contextCaptured = false;
  DWORD contextError = 0;
  std::uintptr_t moduleBase = 0;
  std::array<wchar_t, 32768> modulePath = {};
  std::array<char, 2048> faultModule = {};
  SYSTEMTIME utc = {};
  CrashTextBuffer text = {};
  std::size_t textLength = 0;
  CaptureOutcome outcome;
};

// The thread handle stays open, in `thread`, until the capture ends.
void CaptureThreadContext(DWORD threadId, UniqueHandle& thread, CrashSnapshot& snapshot) {
  snapshot.context.ContextFlags = CONTEXT_ALL;
  thread.reset(OpenThread(kThreadContextAccess, FALSE, threadId));
  if (!thread.valid()) {
    snapshot.contextError = GetLastError();
    return;
  }
  if (!GetThreadContext(thread.get(), &snapshot.context)) {
    snapshot.contextError = GetLastError();
    return;
  }
  snapshot.contextCaptured = true;
}

void FindFaultModule(HANDLE process, CrashSnapshot& snapshot) {
  MEMORY_BASIC_INFORMATION region = {};
  // A failed query leaves the record zero-filled, which reads as "no module".
  VirtualQueryEx(process, snapshot.exceptionRecord.ExceptionAddress, &region, sizeof region);
  snapshot.moduleBase = reinterpret_cast<std::uintptr_t>(region.AllocationBase);
  if (snapshot.moduleBase != 0) {
    K32GetModuleFileNameExW(process, reinterpret_cast<HMODULE>(snapshot.moduleBase), snapshot.modulePath.data(),
                            static_cast<DWORD>(snapshot.modulePath.size()));
  }
  if (WideCharToMultiByte(CP_UTF8, 0, snapshot.modulePath.data(), -1, snapshot.faultModule.data(),
                          static_cast<int>(snapshot.faultModule.size()), nullptr, nullptr) == 0) {
    // A failed conversion may have left part of the path behind.
    std::memcpy(snapshot.faultModule.data(), kUnavailableModule, sizeof kUnavailableModule);
  }
}

void FormatReport(const DEBUG_EVENT& event, CrashSnapshot& snapshot) {
  const BuildIdentity identity = GetBuildIdentity();
  const EXCEPTION_RECORD& record = snapshot.exceptionRecord;
  CrashReportFields fields;
  fields.version = identity.version;
  fields.main = identity.main;
  fields.source = identity.source;
  fields.utc = {snapshot.utc.wYear,   snapshot.utc.wMonth,  snapshot.utc.wDay,         snapshot.utc.wHour,
                snapshot.utc.wMinute, snapshot.utc.wSecond, snapshot.utc.wMilliseconds};
  fields.processId = event.dwProcessId;
  fields.threadId = event.dwThreadId;
  fields.firstChance = event.u.Exception.dwFirstChance;
  fields.exceptionCode = record.ExceptionCode;
  fields.exceptionFlags = record.ExceptionFlags;
  fields.exceptionAddress = reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
  fields.parameterCount = record.NumberParameters;
  fields.parameters = {record.ExceptionInformation[0], record.ExceptionInformation[1]};
  fields.contextCaptured = snapshot.contextCaptured;
  fields.contextError = snapshot.contextError;
  if (snapshot.contextCaptured) {
    fields.rip = snapshot.context.Rip;
    fields.rsp = snapshot.context.Rsp;
  }
  fields.faultModule = snapshot.faultModule.data();
  fields.moduleBase = snapshot.moduleBase;
  snapshot.textLength = FormatCrashReport(fields, snapshot.text);
}

void AppendText(HANDLE logFile, const char* text, std::size_t length) {
  AppendToGameLog(logFile, text, static_cast<DWORD>(length));
}

// A failure raised while opening an output goes into the log as its message,
// and the failing step's Windows error into the capture line. The code comes
// from the failure itself: by the time a handler runs, the thread's last
// error may be another (under Wine, 0).
void RecordOutputFailure(HANDLE logFile, const char* message, std::uint32_t code, std::uint32_t& error) {
  error = code;
  AppendText(logFile, message, std::strlen(message));
}

// Closes the output before the failure leaves; the failure names the failed
// call's error, not the close's.
[[noreturn]] void CloseAndRaise(UniqueHandle& file, const char* text) {
  const DWORD code = GetLastError();
  file.reset();
  throw Error(text, code);
}

// Refuses, and closes, a directory, any reparse point or a file with a
// second hard link. The refusal's message names no code; its record keeps
// the thread's last error as the checks left it.
void RequireOwnFile(UniqueHandle& file) {
  const std::optional<bool> ownFile = IsOwnFile(file.get());
  if (!ownFile) CloseAndRaise(file, "Cannot inspect crash output");
  if (!*ownFile) {
    Error refusal = Error::WithUnstatedCode("Crash output cannot be a link or directory", GetLastError());
    file.reset();
    throw refusal;
  }
}

// Each output is written whole under a name of its own in the runtime
// directory and moved over its place in `data` only once complete: a
// launcher killed during the capture, or a dump that fails, leaves the
// earlier capture's file as it was, and the next run removes what was staged
// together with the runtime. A stored name cannot hold '~', so the staged
// name never meets a file of the game.
struct CrashOutputPaths {
  std::wstring destination;
  std::wstring staging;
};

CrashOutputPaths CrashOutputPathsFor(const std::wstring& dataDirectory, const std::wstring& name) {
  return {JoinPath(dataDirectory, name), JoinPath(JoinPath(dataDirectory, kRuntimeFolderName.wide()), L"~" + name)};
}

// The output's place is checked as OpenCrashOutput checks a file, but left
// as it is: only the finished output replaces it.
void RequireReplaceableCrashOutput(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                kOpenWithoutFollowingLinks, nullptr));
  if (!file.valid()) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return;
    throw Error("Cannot open crash output", code);
  }
  RequireOwnFile(file);
}

// A rename replaces a name, never writing through whatever the name held.
void ReplaceCrashOutput(const CrashOutputPaths& paths) {
  RequireSuccess(
      MoveFileExW(paths.staging.c_str(), paths.destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH),
      "Cannot replace crash output");
}

bool ReadAt(HANDLE file, std::uint64_t offset, void* buffer, DWORD length) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  return ReadFile(file, buffer, length, &read, &at) && read == length;
}

// Whether every stream the dump's directory lists lies within the file.
// A dbghelp that ignores failed writes (Wine's does) reports success for a
// dump that a full disk cut short; such a dump ends before its streams do.
bool DumpHoldsItsStreams(const std::wstring& path) {
  const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      kOpenWithoutFollowingLinks, nullptr));
  LARGE_INTEGER size = {};
  MINIDUMP_HEADER header = {};
  if (!file.valid() || !GetFileSizeEx(file.get(), &size) || !ReadAt(file.get(), 0, &header, sizeof header)) {
    return false;
  }
  for (ULONG32 index = 0; index < header.NumberOfStreams; ++index) {
    MINIDUMP_DIRECTORY entry = {};
    if (!ReadAt(file.get(), header.StreamDirectoryRva + std::uint64_t{index} * sizeof entry, &entry, sizeof entry) ||
        std::uint64_t{entry.Location.Rva} + entry.Location.DataSize > static_cast<std::uint64_t>(size.QuadPart)) {
      return false;
    }
  }
  return true;
}

void WriteDump(HANDLE process, HANDLE logFile, const std::wstring& dataDirectory, const DEBUG_EVENT& event,
               CrashSnapshot& snapshot) {
  CaptureOutcome& outcome = snapshot.outcome;
  outcome.dumpWritten = false;
  try {
    const CrashOutputPaths paths = CrashOutputPathsFor(dataDirectory, L"crash-last.dmp");
    RequireReplaceableCrashOutput(paths.destination);
    bool complete = false;
    {
      const UniqueHandle dump = OpenCrashOutput(paths.staging);
      // Both records lie in the launcher's own memory, hence ClientPointers FALSE.
      EXCEPTION_POINTERS pointers = {&snapshot.exceptionRecord, &snapshot.context};
      MINIDUMP_EXCEPTION_INFORMATION exception = {event.dwThreadId, &pointers, FALSE};
      if (MiniDumpWriteDump(process, event.dwProcessId, dump.get(), kDumpType,
                            snapshot.contextCaptured ? &exception : nullptr, nullptr, nullptr)) {
        complete = true;
      } else {
        outcome.dumpError = GetLastError();
      }
      if (!FlushFileBuffers(dump.get())) {
        complete = false;
        outcome.dumpError = GetLastError();
      }
    }
    if (complete && !DumpHoldsItsStreams(paths.staging)) {
      complete = false;
      outcome.dumpError = ERROR_WRITE_FAULT;
    }
    if (complete) {
      ReplaceCrashOutput(paths);
      outcome.dumpWritten = true;
    }
  } catch (const Error& failure) {
    RecordOutputFailure(logFile, failure.what(), failure.windowsErrorCode(), outcome.dumpError);
  } catch (const std::exception& failure) {
    // Not a failed Windows call (memory running out, say): no code to record.
    RecordOutputFailure(logFile, failure.what(), 0, outcome.dumpError);
  } catch (...) {
    outcome.dumpError = 0;
  }
}

void WriteReportFile(HANDLE logFile, const std::wstring& dataDirectory, CrashSnapshot& snapshot) {
  CaptureOutcome& outcome = snapshot.outcome;
  outcome.reportWritten = false;
  outcome.reportError = 0;
  try {
    const CrashOutputPaths paths = CrashOutputPathsFor(dataDirectory, L"crash-last.txt");
    RequireReplaceableCrashOutput(paths.destination);
    bool complete = false;
    {
      const UniqueHandle report = OpenCrashOutput(paths.staging);
      const auto length = static_cast<DWORD>(snapshot.textLength);
      DWORD written = 0;
      if (WriteFile(report.get(), snapshot.text.data(), length, &written, nullptr) && written == length &&
          FlushFileBuffers(report.get())) {
        complete = true;
      } else {
        outcome.reportError = GetLastError();
      }
    }
    if (complete) {
      ReplaceCrashOutput(paths);
      outcome.reportWritten = true;
    }
  } catch (const Error& failure) {
    RecordOutputFailure(logFile, failure.what(), failure.windowsErrorCode(), outcome.reportError);
  } catch (const std::exception& failure) {
    // Not a failed Windows call (memory running out, say): no code to record.
    RecordOutputFailure(logFile, failure.what(), 0, outcome.reportError);
  } catch (...) {
    outcome.reportError = 0;
  }
}

}  // namespace

UniqueHandle OpenCrashOutput(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                kOpenWithoutFollowingLinks, nullptr));
  if (!file.valid()) RaiseLastError("Cannot open crash output");
  RequireOwnFile(file);
  if (!SetEndOfFile(file.get())) CloseAndRaise(file, "Cannot reset crash output");
  return file;
}

void CaptureCrash(HANDLE process, HANDLE logFile, const std::wstring& dataDirectory,
                  const DEBUG_EVENT& event) noexcept {
  // Declared first so that it is released last.
  UniqueHandle thread;
  CrashSnapshot snapshot;
  snapshot.exceptionRecord = event.u.Exception.ExceptionRecord;
  // The chained record points into the game's memory, not ours.
  snapshot.exceptionRecord.ExceptionRecord = nullptr;

  CaptureThreadContext(event.dwThreadId, thread, snapshot);
  FindFaultModule(process, snapshot);
  GetSystemTime(&snapshot.utc);
  FormatReport(event, snapshot);
  AppendText(logFile, snapshot.text.data(), snapshot.textLength);

  WriteDump(process, logFile, dataDirectory, event, snapshot);
  WriteReportFile(logFile, dataDirectory, snapshot);

  const std::size_t lineLength = FormatCaptureLine(snapshot.outcome, snapshot.text);
  AppendText(logFile, snapshot.text.data(), lineLength);
}

}  // namespace qvn
