#include "supervision/monitor_summary_figures.h"

namespace qvn {
namespace {

constexpr double kSummaryPeriodSeconds = 2.0;
constexpr double kCpuTimeUnitsPerSecond = 10'000'000.0;

// Tick differences wrap instead of overflowing: a counter that went
// backwards gives a negative interval, never undefined behaviour.
std::int64_t TickDifference(std::int64_t later, std::int64_t earlier) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(later) - static_cast<std::uint64_t>(earlier));
}

double TicksToSeconds(std::int64_t ticks, std::int64_t frequency) {
  return static_cast<double>(ticks) / static_cast<double>(frequency);
}

}  // namespace

double SummaryIntervalSeconds(const MonitorCounters& counters, std::int64_t nowTicks) {
  return TicksToSeconds(TickDifference(nowTicks, counters.lastSummaryTicks), counters.counterFrequency);
}

bool IsMonitorSummaryDue(double intervalSeconds, bool final) {
  return final || intervalSeconds >= kSummaryPeriodSeconds;
}

MonitorSummaryFigures ComputeMonitorSummary(const MonitorCounters& counters, std::int64_t nowTicks, bool final,
                                            ProcessorTimeReading cpu) {
  MonitorSummaryFigures figures;
  figures.elapsedSeconds = TicksToSeconds(TickDifference(nowTicks, counters.startTicks), counters.counterFrequency);
  figures.intervalSeconds = SummaryIntervalSeconds(counters, nowTicks);
  figures.final = final;
  figures.childCpuValid = cpu.valid;
  // A reading below the base (a restarted count) or an empty interval gives
  // no meaningful rate, so it prints as none.
  if (cpu.valid && figures.intervalSeconds > 0 && cpu.cpuTime >= counters.lastChildCpuTime) {
    figures.childCpuCores = static_cast<double>(cpu.cpuTime - counters.lastChildCpuTime) /
                            (figures.intervalSeconds * kCpuTimeUnitsPerSecond);
  }
  figures.exceptionEvents = counters.eventCounts[1];
  figures.firstChanceExceptions = counters.firstChanceExceptions;
  figures.secondChanceExceptions = counters.secondChanceExceptions;
  figures.threadCreates = counters.eventCounts[2];
  figures.dllLoads = counters.eventCounts[6];
  figures.debugStrings = counters.eventCounts[8];
  figures.handlingMilliseconds =
      static_cast<double>(counters.handlingTicks) * 1000.0 / static_cast<double>(counters.counterFrequency);
  return figures;
}

void AdvanceMonitorSummaryBase(MonitorCounters& counters, std::int64_t nowTicks, ProcessorTimeReading cpu) {
  counters.lastSummaryTicks = nowTicks;
  if (cpu.valid) counters.lastChildCpuTime = cpu.cpuTime;
}

}  // namespace qvn
