#include "tools/pack/packing/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace qvn::pack {
namespace {

// Steps made of functions, for each test to fill in as it needs.
struct Schedule final : UnitSchedule {
  std::function<void(std::size_t)> prepare = [](std::size_t) {};
  std::function<void(std::size_t)> alongside = [](std::size_t) {};
  std::function<void(std::size_t)> finish = [](std::size_t) {};
  std::function<bool()> idle = [] { return false; };

  void Prepare(std::size_t unit) override { prepare(unit); }
  void Alongside(std::size_t unit) override { alongside(unit); }
  void Finish(std::size_t unit) override { finish(unit); }
  bool Idle() override { return idle(); }
};

// `jobs` workers, each telling `work` which one it is.
class Workers {
 public:
  Workers(unsigned jobs, const std::function<void(std::size_t unit, std::size_t worker)>& work) {
    for (std::size_t i = 0; i < jobs; ++i) workers_.push_back(std::make_unique<Worker>(work, i));
    for (const auto& worker : workers_) pointers_.push_back(worker.get());
  }
  std::span<UnitWorker* const> all() const { return pointers_; }

 private:
  struct Worker final : UnitWorker {
    Worker(const std::function<void(std::size_t, std::size_t)>& job, std::size_t number) : work(job), index(number) {}
    void Work(std::size_t unit) override { work(unit, index); }
    const std::function<void(std::size_t, std::size_t)> work;
    const std::size_t index;
  };
  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<UnitWorker*> pointers_;
};

struct PoolCase {
  unsigned jobs;
  std::size_t count;
};

TEST(RunOnWorkers, EveryUnitRunsOnceInItsStepsWithAtMostJobsAtWork) {
  const std::vector<PoolCase> cases = {{1, 0}, {1, 5}, {2, 1}, {2, 9}, {3, 2}, {4, 17}};
  for (const PoolCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.jobs << " jobs, " << c.count << " units");
    std::vector<int> prepared(c.count), alongside(c.count), worked(c.count), finished(c.count);
    std::vector<std::size_t> prepareOrder, alongsideOrder;
    std::size_t inFlight = 0, mostInFlight = 0;
    std::mutex workMutex;
    std::size_t atWork = 0, mostAtWork = 0, highestWorker = 0;
    Schedule schedule;
    schedule.prepare = [&](std::size_t unit) {
      prepareOrder.push_back(unit);
      ++prepared[unit];
      mostInFlight = std::max(mostInFlight, ++inFlight);
    };
    schedule.alongside = [&](std::size_t unit) {
      alongsideOrder.push_back(unit);
      alongside[unit] += prepared[unit];
    };
    schedule.finish = [&](std::size_t unit) {
      EXPECT_EQ(worked[unit], 1);
      EXPECT_EQ(alongside[unit], 1);
      ++finished[unit];
      --inFlight;
    };
    const Workers workers(c.jobs, [&](std::size_t unit, std::size_t worker) {  // no assertions off the main thread
      {
        const std::lock_guard lock(workMutex);
        mostAtWork = std::max(mostAtWork, ++atWork);
        highestWorker = std::max(highestWorker, worker);
      }
      worked[unit] += prepared[unit];
      const std::lock_guard lock(workMutex);
      --atWork;
    });
    RunOnWorkers(c.count, schedule, workers.all());
    EXPECT_EQ(finished, std::vector<int>(c.count, 1));
    EXPECT_TRUE(std::is_sorted(prepareOrder.begin(), prepareOrder.end()));
    EXPECT_EQ(alongsideOrder, prepareOrder);
    // One unit prepared ahead of the workers.
    EXPECT_LE(mostInFlight, c.jobs + 1);
    EXPECT_LE(mostAtWork, c.jobs);
    EXPECT_LT(highestWorker, c.jobs);
  }
}

TEST(RunOnWorkers, AFailingUnitStopsTheRunAndReachesTheCaller) {
  for (unsigned jobs : {1u, 2u, 4u}) {
    std::atomic<int> worked = 0;
    std::atomic<bool> failed = false;
    Schedule schedule;
    const Workers workers(jobs, [&](std::size_t unit, std::size_t) {
      ++worked;
      if (unit == 3) {
        failed = true;
        throw std::runtime_error("unit 3 failed");
      }
      // Later units end only some time after unit 3 has failed, however the
      // threads are scheduled: a worker slow to start unit 3, or to report
      // its failure, must not let the rest all run first.
      if (unit <= 3) return;
      while (!failed) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    EXPECT_THROW(RunOnWorkers(100, schedule, workers.all()), std::runtime_error) << jobs << " jobs";
    EXPECT_LT(worked, 100) << jobs << " jobs: units after the failure were dropped";
  }
}

TEST(RunOnWorkers, IdleRunsOnTheCallingThreadWhileUnitsAreWorkedOn) {
  struct IdleCase {
    unsigned jobs;
    std::size_t count;
    int idlePieces;  // how many calls say that some is left
  };
  const std::vector<IdleCase> cases = {{1, 1, 0}, {1, 5, 3}, {2, 9, 4}, {4, 17, 100}};
  for (const IdleCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.jobs << " jobs, " << c.count << " units, " << c.idlePieces << " pieces");
    const std::thread::id caller = std::this_thread::get_id();
    std::mutex mutex;
    std::condition_variable idled;
    int idleCalls = 0;
    int piecesLeft = c.idlePieces;
    bool nothingLeft = false;  // since the last finish
    bool offThread = false, calledWhenNothingLeft = false;
    std::atomic<bool> firstUnitSawIdle = false;
    std::vector<int> finished(c.count);
    Schedule schedule;
    schedule.finish = [&](std::size_t unit) {
      ++finished[unit];
      nothingLeft = false;
    };
    schedule.idle = [&] {
      const std::lock_guard lock(mutex);
      offThread = offThread || std::this_thread::get_id() != caller;
      calledWhenNothingLeft = calledWhenNothingLeft || nothingLeft;
      ++idleCalls;
      idled.notify_all();
      if (piecesLeft > 0) --piecesLeft;
      nothingLeft = piecesLeft == 0;
      return !nothingLeft;
    };
    const Workers workers(c.jobs, [&](std::size_t unit, std::size_t) {
      if (unit != 0) return;
      // Unit 0 holds its worker until the calling thread has idled.
      std::unique_lock lock(mutex);
      firstUnitSawIdle = idled.wait_for(lock, std::chrono::seconds(60), [&] { return idleCalls > 0; });
    });
    RunOnWorkers(c.count, schedule, workers.all());
    EXPECT_EQ(finished, std::vector<int>(c.count, 1));
    EXPECT_TRUE(firstUnitSawIdle);
    EXPECT_FALSE(offThread);
    EXPECT_FALSE(calledWhenNothingLeft);
  }
}

}  // namespace
}  // namespace qvn::pack
