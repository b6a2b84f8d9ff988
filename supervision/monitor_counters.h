#pragma once

#include <array>
#include <cstdint>

namespace qvn {

// What the debug event monitor has seen so far, and the bases of the last
// monitor summary. Plain numbers only, so the summary arithmetic and the
// event rules can be exercised off Windows.
struct MonitorCounters {
  // Indexed by debug event code; codes 1 to 9 exist, 0 stays unused.
  std::array<std::uint64_t, 10> eventCounts{};
  std::uint64_t handlingTicks = 0;
  std::uint64_t firstChanceExceptions = 0;
  std::uint64_t secondChanceExceptions = 0;
  std::int64_t counterFrequency = 0;
  std::int64_t startTicks = 0;
  std::int64_t lastSummaryTicks = 0;
  // Kernel plus user time of the game in 100 ns units at the last summary
  // that could read it.
  std::uint64_t lastChildCpuTime = 0;
};

}  // namespace qvn
