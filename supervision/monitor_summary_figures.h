#pragma once

#include <cstdint>

#include "supervision/monitor_counters.h"

namespace qvn {

// One reading of the game's processor time (kernel plus user, 100 ns units).
struct ProcessorTimeReading {
  bool valid = false;
  std::uint64_t cpuTime = 0;
};

// The values of one monitor summary line, in the order the line prints them.
struct MonitorSummaryFigures {
  double elapsedSeconds = 0;
  double intervalSeconds = 0;
  bool final = false;
  bool childCpuValid = false;
  double childCpuCores = 0;
  std::uint64_t exceptionEvents = 0;
  std::uint64_t firstChanceExceptions = 0;
  std::uint64_t secondChanceExceptions = 0;
  std::uint64_t threadCreates = 0;
  std::uint64_t dllLoads = 0;
  std::uint64_t debugStrings = 0;
  double handlingMilliseconds = 0;
};

// Seconds from the last summary (or the monitor's start) to `nowTicks`.
double SummaryIntervalSeconds(const MonitorCounters& counters, std::int64_t nowTicks);

// A line is due after 2 seconds, and always at the end.
bool IsMonitorSummaryDue(double intervalSeconds, bool final);

// The figures of a line taken at `nowTicks` with the given processor time
// reading. Pure: the counters are not touched.
MonitorSummaryFigures ComputeMonitorSummary(const MonitorCounters& counters, std::int64_t nowTicks, bool final,
                                            ProcessorTimeReading cpu);

// Makes `nowTicks` the base of the next interval, and the reading the base of
// the next processor time difference if it could be read; an unreadable
// reading keeps the previous base.
void AdvanceMonitorSummaryBase(MonitorCounters& counters, std::int64_t nowTicks, ProcessorTimeReading cpu);

}  // namespace qvn
