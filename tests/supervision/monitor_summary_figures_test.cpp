#include "supervision/monitor_summary_figures.h"

#include <gtest/gtest.h>

#include <string>

#include "supervision/crash_report_format.h"

namespace qvn {
namespace {

constexpr std::int64_t kFrequency = 10'000'000;  // ticks per second, as on most Windows machines

MonitorCounters CountersStartedAt(std::int64_t startTicks) {
  MonitorCounters counters;
  counters.counterFrequency = kFrequency;
  counters.startTicks = startTicks;
  counters.lastSummaryTicks = startTicks;
  return counters;
}

std::string Line(const MonitorSummaryFigures& figures) {
  SummaryLineBuffer buffer = {};
  const int length = FormatMonitorSummaryLine(figures, buffer);
  return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length)) : std::string();
}

TEST(MonitorSummaryDue, DueAfterTwoSecondsOrAtTheEnd) {
  struct Case {
    double intervalSeconds;
    bool final;
    bool due;
  };
  const Case cases[] = {
      {0.0, false, false}, {1.999, false, false}, {2.0, false, true},   {7.5, false, true},
      {0.0, true, true},   {0.1, true, true},     {-1.0, false, false}, {-1.0, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsMonitorSummaryDue(c.intervalSeconds, c.final), c.due) << c.intervalSeconds << " " << c.final;
  }
}

TEST(MonitorSummaryFigures, ProcessorCoresAreTheTimeSinceTheLastReadingOverTheInterval) {
  struct Case {
    const char* name = nullptr;
    std::int64_t lastSummaryTicks = 0;
    std::uint64_t lastChildCpuTime = 0;
    std::int64_t nowTicks = 0;
    ProcessorTimeReading cpu;
    double cores = 0;
  };
  const Case cases[] = {
      {"1.5 s in 3 s", 0, 0, 3 * kFrequency, {true, 15'000'000}, 0.5},
      {"two busy threads", 0, 0, 3 * kFrequency, {true, 60'000'000}, 2.0},
      {"since an earlier reading", kFrequency, 10'000'000, 5 * kFrequency, {true, 30'000'000}, 0.5},
      {"unreadable", 0, 0, 3 * kFrequency, {false, 15'000'000}, 0.0},
      {"interval 0", kFrequency, 0, kFrequency, {true, 15'000'000}, 0.0},
      {"reading below the base", 0, 20'000'000, 3 * kFrequency, {true, 15'000'000}, 0.0},
      {"clock went backwards", 5 * kFrequency, 0, 3 * kFrequency, {true, 15'000'000}, 0.0},
  };
  for (const Case& c : cases) {
    MonitorCounters counters = CountersStartedAt(0);
    counters.lastSummaryTicks = c.lastSummaryTicks;
    counters.lastChildCpuTime = c.lastChildCpuTime;
    const MonitorSummaryFigures figures = ComputeMonitorSummary(counters, c.nowTicks, false, c.cpu);
    EXPECT_DOUBLE_EQ(figures.childCpuCores, c.cores) << c.name;
    EXPECT_EQ(figures.childCpuValid, c.cpu.valid) << c.name;
  }
}

TEST(MonitorSummaryFigures, TimesComeFromTheCounterAndCountsFromTheEvents) {
  MonitorCounters counters = CountersStartedAt(1'000);
  counters.lastSummaryTicks = 1'000 + 2 * kFrequency;
  counters.eventCounts = {0, 11, 12, 13, 14, 15, 16, 17, 18, 19};
  counters.firstChanceExceptions = 9;
  counters.secondChanceExceptions = 2;
  counters.handlingTicks = 12'345;
  const MonitorSummaryFigures figures =
      ComputeMonitorSummary(counters, 1'000 + 5 * kFrequency + kFrequency / 2, true, {true, 0});
  EXPECT_DOUBLE_EQ(figures.elapsedSeconds, 5.5);
  EXPECT_DOUBLE_EQ(figures.intervalSeconds, 3.5);
  EXPECT_TRUE(figures.final);
  EXPECT_EQ(figures.exceptionEvents, 11u);
  EXPECT_EQ(figures.threadCreates, 12u);
  EXPECT_EQ(figures.dllLoads, 16u);
  EXPECT_EQ(figures.debugStrings, 18u);
  EXPECT_EQ(figures.firstChanceExceptions, 9u);
  EXPECT_EQ(figures.secondChanceExceptions, 2u);
  EXPECT_DOUBLE_EQ(figures.handlingMilliseconds, 1.2345);
}

TEST(MonitorSummaryBase, AnUnreadableReadingKeepsTheProcessorBase) {
  struct Case {
    ProcessorTimeReading cpu;
    std::uint64_t base = 0;
  };
  const Case cases[] = {{{true, 70}, 70}, {{false, 70}, 40}, {{true, 0}, 0}};
  for (const Case& c : cases) {
    MonitorCounters counters = CountersStartedAt(0);
    counters.lastChildCpuTime = 40;
    AdvanceMonitorSummaryBase(counters, 123, c.cpu);
    EXPECT_EQ(counters.lastSummaryTicks, 123);
    EXPECT_EQ(counters.lastChildCpuTime, c.base);
  }
}

TEST(MonitorSummaryLine, TwelveValuesInTheFixedFormat) {
  struct Case {
    MonitorSummaryFigures figures;
    std::string line;
  };
  const Case cases[] = {
      {{2.0004, 2.0004, false, true, 0.0, 1, 1, 0, 0, 6, 0, 0.25},
       "QVN_MONITOR elapsed_s=2.000 interval_s=2.000 final=0 child_cpu_valid=1 child_cpu_cores=0.000 "
       "event_counts=cumulative exception_events=1 first_chance=1 second_chance=0 thread_creates=0 dll_loads=6 "
       "debug_strings=0 handling_ms=0.250\n"},
      {{10.1236, 0.1, true, false, 1.9996, 18446744073709551615u, 3, 2, 40, 7, 5, 1234.5678},
       "QVN_MONITOR elapsed_s=10.124 interval_s=0.100 final=1 child_cpu_valid=0 child_cpu_cores=2.000 "
       "event_counts=cumulative exception_events=18446744073709551615 first_chance=3 second_chance=2 "
       "thread_creates=40 dll_loads=7 debug_strings=5 handling_ms=1234.568\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Line(c.figures), c.line);
}

TEST(MonitorSummaryLine, OverlongLineReportsTheLengthItNeeded) {
  MonitorSummaryFigures figures;
  figures.handlingMilliseconds = 1e300;  // 301 digits before the point
  figures.elapsedSeconds = 1e300;
  figures.intervalSeconds = 1e300;
  SummaryLineBuffer buffer = {};
  const int length = FormatMonitorSummaryLine(figures, buffer);
  EXPECT_GE(length, 768);
  EXPECT_EQ(buffer[767], '\0');
}

}  // namespace
}  // namespace qvn
