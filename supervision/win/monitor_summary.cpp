#include "supervision/win/monitor_summary.h"

#include "base/win/standard_error_line.h"
#include "supervision/crash_report_format.h"
#include "supervision/monitor_summary_figures.h"

namespace qvn {
namespace {

std::uint64_t FileTimeUnits(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

ProcessorTimeReading ReadProcessorTime(HANDLE process) {
  FILETIME creation = {};
  FILETIME exit = {};
  FILETIME kernel = {};
  FILETIME user = {};
  ProcessorTimeReading reading;
  reading.valid = GetProcessTimes(process, &creation, &exit, &kernel, &user) != 0;
  if (reading.valid) reading.cpuTime = FileTimeUnits(kernel) + FileTimeUnits(user);
  return reading;
}

}  // namespace

void WriteMonitorSummary(MonitorCounters& counters, HANDLE process, HANDLE logFile, bool final) noexcept {
  LARGE_INTEGER now = {};
  if (!QueryPerformanceCounter(&now)) return;
  if (!IsMonitorSummaryDue(SummaryIntervalSeconds(counters, now.QuadPart), final)) return;

  const ProcessorTimeReading cpu = ReadProcessorTime(process);
  const MonitorSummaryFigures figures = ComputeMonitorSummary(counters, now.QuadPart, final, cpu);
  SummaryLineBuffer line;
  const int length = FormatMonitorSummaryLine(figures, line);
  AdvanceMonitorSummaryBase(counters, now.QuadPart, cpu);
  // An over-long line is dropped rather than cut: a cut line would look whole.
  if (length <= 0 || static_cast<std::size_t>(length) >= line.size()) return;

  DWORD written = 0;
  if (!WriteFile(logFile, line.data(), static_cast<DWORD>(length), &written, nullptr) ||
      written != static_cast<DWORD>(length)) {
    WriteFailureToStandardError("Portable monitor summary write failed", GetLastError());
  }
}

}  // namespace qvn
