#pragma once

#include <cstdint>
#include <string>

namespace qvn::bench {

// One run of a program, timed on the bench clock (launch_clock.h).
struct TimedRun {
  std::uint64_t createdAt = 0;  // just before CreateProcessW
  std::uint64_t endedAt = 0;    // when the wait saw the process end
  std::uint32_t exitCode = 0;
  // Largest PeakWorkingSetSize / PeakPagefileUsage that GetProcessMemoryInfo
  // gave while the process ran (polled), and what it gives once it has ended
  // (Wine reads these from /proc, so after the end it may give nothing).
  std::uint64_t peakWorkingSet = 0;
  std::uint64_t peakPagefile = 0;
  std::uint64_t peakWorkingSetAfterEnd = 0;
  std::uint64_t peakPagefileAfterEnd = 0;
};

// Runs `program` to its end with standard output and error in `outputFile`
// (created anew) and standard input on NUL.
TimedRun RunTimed(const std::wstring& program, const std::wstring& arguments, const std::wstring& outputFile);

}  // namespace qvn::bench
