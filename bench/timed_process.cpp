#include "bench/timed_process.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <stdexcept>

#include "base/win/unique_handle.h"
#include "bench/launch_clock.h"
#include "tests/support/scratch_directory.h"

namespace qvn::bench {
namespace {

// Often enough to see the peak, which lasts from the largest file's
// decoding until its write; rarely enough not to load the wineserver.
constexpr DWORD kMemoryPollMilliseconds = 10;

UniqueHandle OpenInheritable(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  UniqueHandle file(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                &inheritable, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw std::runtime_error("cannot open " + testing::Narrow(path));
  return file;
}

PROCESS_MEMORY_COUNTERS MemoryOf(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) counters = {};
  return counters;
}

}  // namespace

TimedRun RunTimed(const std::wstring& program, const std::wstring& arguments, const std::wstring& outputFile) {
  UniqueHandle output = OpenInheritable(outputFile, GENERIC_WRITE, CREATE_ALWAYS);
  UniqueHandle input = OpenInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = output.get();
  startup.hStdError = output.get();
  std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);

  TimedRun run;
  PROCESS_INFORMATION created = {};
  run.createdAt = PreciseNow();
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &created)) {
    throw std::runtime_error("cannot start " + testing::Narrow(program) + ": " + std::to_string(GetLastError()));
  }
  const UniqueHandle process(created.hProcess);
  const UniqueHandle thread(created.hThread);

  while (WaitForSingleObject(process.get(), kMemoryPollMilliseconds) == WAIT_TIMEOUT) {
    const PROCESS_MEMORY_COUNTERS counters = MemoryOf(process.get());
    run.peakWorkingSet = std::max<std::uint64_t>(run.peakWorkingSet, counters.PeakWorkingSetSize);
    run.peakPagefile = std::max<std::uint64_t>(run.peakPagefile, counters.PeakPagefileUsage);
  }
  run.endedAt = PreciseNow();

  const PROCESS_MEMORY_COUNTERS afterEnd = MemoryOf(process.get());
  run.peakWorkingSetAfterEnd = afterEnd.PeakWorkingSetSize;
  run.peakPagefileAfterEnd = afterEnd.PeakPagefileUsage;
  DWORD exitCode = 0;
  GetExitCodeProcess(process.get(), &exitCode);
  run.exitCode = exitCode;
  return run;
}

}  // namespace qvn::bench
