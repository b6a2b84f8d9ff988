#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "supervision/monitor_summary_figures.h"

namespace qvn {

// The launcher's own lines in game.log and the crash report, formatted into
// fixed buffers from plain values, so that every format can be checked with
// fixed inputs on any platform.

using CrashTextBuffer = std::array<char, 4096>;
using ExitRecordBuffer = std::array<char, 80>;
using SummaryLineBuffer = std::array<char, 768>;

// Calendar time in UTC, as the platform's SYSTEMTIME holds it.
struct UtcTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

struct CrashReportFields {
  std::string_view version;
  std::string_view main;
  std::string_view source;
  UtcTime utc;
  std::uint32_t processId = 0;
  std::uint32_t threadId = 0;
  std::uint32_t firstChance = 0;
  std::uint32_t exceptionCode = 0;
  std::uint32_t exceptionFlags = 0;
  std::uint64_t exceptionAddress = 0;
  // NumberParameters as received; only the first two parameters are printed,
  // and only those that the count says exist.
  std::uint32_t parameterCount = 0;
  std::array<std::uint64_t, 2> parameters{};
  bool contextCaptured = false;
  std::uint32_t contextError = 0;
  std::uint64_t rip = 0;
  std::uint64_t rsp = 0;
  // UTF-8, NUL-terminated: the fixed buffer the module path was converted into.
  const char* faultModule = "";
  std::uint64_t moduleBase = 0;
};

struct CaptureOutcome {
  bool dumpWritten = false;
  std::uint32_t dumpError = 0;
  bool reportWritten = false;
  std::uint32_t reportError = 0;
};

// The five-line crash report. Returns its length: what the formatting
// produced, at most 4,095 (the text is cut there), 0 if formatting failed.
std::size_t FormatCrashReport(const CrashReportFields& fields, CrashTextBuffer& buffer);

// "\nQVN_PORTABLE_CRASH_CAPTURE ...\n"; returns its length as above.
std::size_t FormatCaptureLine(const CaptureOutcome& outcome, CrashTextBuffer& buffer);

// "\nQVN_PORTABLE_EXIT status=0x%08lX\n"; returns its length.
std::size_t FormatExitRecord(std::uint32_t status, ExitRecordBuffer& buffer);

// The monitor summary line. The buffer is cleared first. Returns the full
// length the line needs, which is 768 or more when it did not fit, and
// negative if formatting failed: the caller writes only 1 to 767 bytes.
int FormatMonitorSummaryLine(const MonitorSummaryFigures& figures, SummaryLineBuffer& buffer);

}  // namespace qvn
