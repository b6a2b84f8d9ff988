#include "tools/pack/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <vector>

namespace qvn::pack {
namespace {

struct PoolCase {
  unsigned jobs;
  std::size_t count;
};

TEST(RunOnWorkers, EveryUnitRunsOnceInItsStepsWithAtMostJobsInFlight) {
  const std::vector<PoolCase> cases = {{1, 0}, {1, 5}, {2, 1}, {2, 9}, {3, 2}, {4, 17}};
  for (const PoolCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.jobs << " jobs, " << c.count << " units");
    std::vector<int> prepared(c.count), alongside(c.count), worked(c.count), finished(c.count);
    std::vector<std::size_t> prepareOrder, alongsideOrder;
    std::size_t inFlight = 0, mostInFlight = 0;
    RunOnWorkers(
        c.jobs, c.count,
        [&](std::size_t unit) {
          prepareOrder.push_back(unit);
          ++prepared[unit];
          mostInFlight = std::max(mostInFlight, ++inFlight);
        },
        [&](std::size_t unit) {
          alongsideOrder.push_back(unit);
          alongside[unit] += prepared[unit];
        },
        [&](std::size_t unit) { worked[unit] += prepared[unit]; },  // no assertions off the main thread
        [&](std::size_t unit) {
          EXPECT_EQ(worked[unit], 1);
          EXPECT_EQ(alongside[unit], 1);
          ++finished[unit];
          --inFlight;
        });
    EXPECT_EQ(finished, std::vector<int>(c.count, 1));
    EXPECT_TRUE(std::is_sorted(prepareOrder.begin(), prepareOrder.end()));
    EXPECT_EQ(alongsideOrder, prepareOrder);
    EXPECT_LE(mostInFlight, c.jobs);
  }
}

TEST(RunOnWorkers, AFailingUnitStopsTheRunAndReachesTheCaller) {
  for (unsigned jobs : {1u, 2u, 4u}) {
    std::atomic<int> worked = 0;
    EXPECT_THROW(RunOnWorkers(
                     jobs, 100, [](std::size_t) {},
                     [&](std::size_t unit) {
                       ++worked;
                       if (unit == 3) throw std::runtime_error("unit 3 failed");
                     },
                     [](std::size_t) {}),
                 std::runtime_error)
        << jobs << " jobs";
    EXPECT_LT(worked, 100) << jobs << " jobs: units after the failure were dropped";
  }
}

}  // namespace
}  // namespace qvn::pack
