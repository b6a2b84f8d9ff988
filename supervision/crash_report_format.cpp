#include "supervision/crash_report_format.h"

#include <cstdio>
#include <tuple>

namespace qvn {
namespace {

// The length of a text formatted into a fixed buffer: what it needed, cut to
// what the buffer holds before its terminator, and none after a failure.
template <std::size_t Capacity>
std::size_t BoundedLength(int formatted) {
  if (formatted <= 0) return 0;
  const auto length = static_cast<std::size_t>(formatted);
  return length < Capacity ? length : Capacity - 1;
}

}  // namespace

std::size_t FormatCrashReport(const CrashReportFields& fields, CrashTextBuffer& buffer) {
  // Addresses print as 16 upper-case hexadecimal digits without prefix, the
  // form MSVC's %p gives; spelled out, because %p differs between C runtimes.
  const std::uint64_t parameter0 = fields.parameterCount >= 1 ? fields.parameters[0] : 0;
  const std::uint64_t parameter1 = fields.parameterCount >= 2 ? fields.parameters[1] : 0;
  const std::uint64_t moduleOffset = fields.exceptionAddress - fields.moduleBase;
  const int formatted = std::snprintf(
      buffer.data(), buffer.size(),
      "QVN_PORTABLE_CRASH version=%.*s main=%.*s source=%.*s\n"
      "utc=%04u-%02u-%02uT%02u:%02u:%02u.%03uZ process_id=%lu thread_id=%lu first_chance=%lu\n"
      "exception_code=0x%08lX exception_flags=0x%08lX exception_address=%016llX parameters=%lu "
      "parameter0=0x%llX parameter1=0x%llX\n"
      "context_captured=%u context_error=%lu rip=0x%llX rsp=0x%llX\n"
      "fault_module=%s module_base=%016llX module_offset=0x%llX\n",
      static_cast<int>(fields.version.size()), fields.version.data(), static_cast<int>(fields.main.size()),
      fields.main.data(), static_cast<int>(fields.source.size()), fields.source.data(),
      static_cast<unsigned>(fields.utc.year), static_cast<unsigned>(fields.utc.month),
      static_cast<unsigned>(fields.utc.day), static_cast<unsigned>(fields.utc.hour),
      static_cast<unsigned>(fields.utc.minute), static_cast<unsigned>(fields.utc.second),
      static_cast<unsigned>(fields.utc.milliseconds), static_cast<unsigned long>(fields.processId),
      static_cast<unsigned long>(fields.threadId), static_cast<unsigned long>(fields.firstChance),
      static_cast<unsigned long>(fields.exceptionCode), static_cast<unsigned long>(fields.exceptionFlags),
      static_cast<unsigned long long>(fields.exceptionAddress), static_cast<unsigned long>(fields.parameterCount),
      static_cast<unsigned long long>(parameter0), static_cast<unsigned long long>(parameter1),
      static_cast<unsigned>(fields.contextCaptured ? 1 : 0), static_cast<unsigned long>(fields.contextError),
      static_cast<unsigned long long>(fields.rip), static_cast<unsigned long long>(fields.rsp), fields.faultModule,
      static_cast<unsigned long long>(fields.moduleBase), static_cast<unsigned long long>(moduleOffset));
  return BoundedLength<std::tuple_size_v<CrashTextBuffer>>(formatted);
}

std::size_t FormatCaptureLine(const CaptureOutcome& outcome, CrashTextBuffer& buffer) {
  const int formatted = std::snprintf(
      buffer.data(), buffer.size(),
      "\nQVN_PORTABLE_CRASH_CAPTURE dump_written=%u dump_error=%lu report_written=%u report_error=%lu\n",
      static_cast<unsigned>(outcome.dumpWritten ? 1 : 0), static_cast<unsigned long>(outcome.dumpError),
      static_cast<unsigned>(outcome.reportWritten ? 1 : 0), static_cast<unsigned long>(outcome.reportError));
  return BoundedLength<std::tuple_size_v<CrashTextBuffer>>(formatted);
}

std::size_t FormatExitRecord(std::uint32_t status, ExitRecordBuffer& buffer) {
  const int formatted = std::snprintf(buffer.data(), buffer.size(), "\nQVN_PORTABLE_EXIT status=0x%08lX\n",
                                      static_cast<unsigned long>(status));
  return BoundedLength<std::tuple_size_v<ExitRecordBuffer>>(formatted);
}

int FormatMonitorSummaryLine(const MonitorSummaryFigures& figures, SummaryLineBuffer& buffer) {
  buffer.fill('\0');
  return std::snprintf(
      buffer.data(), buffer.size(),
      "QVN_MONITOR elapsed_s=%.3f interval_s=%.3f final=%u child_cpu_valid=%u child_cpu_cores=%.3f "
      "event_counts=cumulative exception_events=%llu first_chance=%llu second_chance=%llu thread_creates=%llu "
      "dll_loads=%llu debug_strings=%llu handling_ms=%.3f\n",
      figures.elapsedSeconds, figures.intervalSeconds, static_cast<unsigned>(figures.final ? 1 : 0),
      static_cast<unsigned>(figures.childCpuValid ? 1 : 0), figures.childCpuCores,
      static_cast<unsigned long long>(figures.exceptionEvents),
      static_cast<unsigned long long>(figures.firstChanceExceptions),
      static_cast<unsigned long long>(figures.secondChanceExceptions),
      static_cast<unsigned long long>(figures.threadCreates), static_cast<unsigned long long>(figures.dllLoads),
      static_cast<unsigned long long>(figures.debugStrings), figures.handlingMilliseconds);
}

}  // namespace qvn
