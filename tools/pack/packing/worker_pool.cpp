#include "tools/pack/packing/worker_pool.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace qvn::pack {
namespace {

// What the calling thread and the workers hand each other, under one lock.
struct Handover {
  std::mutex mutex;
  std::condition_variable unitReady;  // workers wait on it
  std::condition_variable unitDone;   // the calling thread waits on it
  std::deque<std::size_t> ready;
  std::deque<std::size_t> done;
  std::exception_ptr failure;
  bool closing = false;
};

// The worker threads, told to stop and joined however the run is left: a
// worker ends after its current unit.
class WorkerThreads {
 public:
  explicit WorkerThreads(Handover& handover) : handover_(handover) {}
  ~WorkerThreads() {
    {
      const std::lock_guard lock(handover_.mutex);
      handover_.closing = true;
    }
    handover_.unitReady.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;

  void Start(UnitWorker& worker) {
    threads_.emplace_back([this, &worker] { Serve(worker); });
  }

 private:
  void Serve(UnitWorker& worker) {
    for (;;) {
      std::size_t unit = 0;
      {
        std::unique_lock lock(handover_.mutex);
        handover_.unitReady.wait(lock, [this] { return handover_.closing || !handover_.ready.empty(); });
        if (handover_.closing) return;
        unit = handover_.ready.front();
        handover_.ready.pop_front();
      }
      std::exception_ptr failure;
      try {
        worker.Work(unit);
      } catch (...) {
        failure = std::current_exception();
      }
      {
        const std::lock_guard lock(handover_.mutex);
        if (failure && !handover_.failure) handover_.failure = failure;
        handover_.done.push_back(unit);
      }
      handover_.unitDone.notify_one();
    }
  }

  Handover& handover_;
  std::vector<std::thread> threads_;
};

}  // namespace

unsigned MachineThreadCount() { return std::max(1u, std::thread::hardware_concurrency()); }

void RunOnWorkers(std::size_t count, UnitSchedule& schedule, std::span<UnitWorker* const> workers) {
  Handover handover;
  WorkerThreads threads(handover);
  const std::size_t threadCount = std::min(workers.size(), count);
  for (std::size_t i = 0; i < threadCount; ++i) threads.Start(*workers[i]);

  std::size_t prepared = 0;
  std::size_t alongsideDone = 0;
  std::size_t finished = 0;
  bool idleLeft = true;
  while (finished < count) {
    // One unit more than there are workers, waiting for the first of them
    // that is done.
    if (prepared < count && prepared - finished < threadCount + 1) {
      schedule.Prepare(prepared);
      {
        const std::lock_guard lock(handover.mutex);
        handover.ready.push_back(prepared);
      }
      handover.unitReady.notify_one();
      ++prepared;
      continue;
    }
    // Only then: no worker waits on it. So every unit has had it before it
    // can be finished.
    if (alongsideDone < prepared) {
      schedule.Alongside(alongsideDone++);
      continue;
    }
    std::size_t unit = 0;
    {
      std::unique_lock lock(handover.mutex);
      if (handover.done.empty() && idleLeft) {
        lock.unlock();
        idleLeft = schedule.Idle();
        continue;
      }
      handover.unitDone.wait(lock, [&handover] { return !handover.done.empty(); });
      if (handover.failure) std::rethrow_exception(handover.failure);
      unit = handover.done.front();
      handover.done.pop_front();
    }
    schedule.Finish(unit);
    idleLeft = true;
    ++finished;
  }
}

}  // namespace qvn::pack
