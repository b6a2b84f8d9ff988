#include "tools/pack/build/worker_pool.h"

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

  void Start(const WorkStep& work) {
    const std::size_t worker = threads_.size();
    threads_.emplace_back([this, &work, worker] { Serve(work, worker); });
  }

 private:
  void Serve(const WorkStep& work, std::size_t worker) {
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
        work(unit, worker);
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

void RunOnWorkers(unsigned jobs, std::size_t count, const UnitStep& prepare, const WorkStep& work,
                  const UnitStep& finish) {
  RunOnWorkers(jobs, count, prepare, [](std::size_t) {}, work, finish);
}

void RunOnWorkers(unsigned jobs, std::size_t count, const UnitStep& prepare, const UnitStep& alongside,
                  const WorkStep& work, const UnitStep& finish) {
  RunOnWorkers(jobs, count, prepare, alongside, work, finish, [] { return false; });
}

void RunOnWorkers(unsigned jobs, std::size_t count, const UnitStep& prepare, const UnitStep& alongside,
                  const WorkStep& work, const UnitStep& finish, const IdleStep& idle) {
  // One job still gets a thread of its own, so that alongside() overlaps
  // its work.
  Handover handover;
  WorkerThreads workers(handover);
  const std::size_t threadCount = std::min<std::size_t>(std::max(jobs, 1u), count);
  for (std::size_t i = 0; i < threadCount; ++i) workers.Start(work);

  std::size_t prepared = 0;
  std::size_t alongsideDone = 0;
  std::size_t finished = 0;
  bool idleLeft = true;
  while (finished < count) {
    // One unit more than there are workers, waiting for the first of them
    // that is done.
    if (prepared < count && prepared - finished < threadCount + 1) {
      prepare(prepared);
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
      alongside(alongsideDone++);
      continue;
    }
    std::size_t unit = 0;
    {
      std::unique_lock lock(handover.mutex);
      if (handover.done.empty() && idleLeft) {
        lock.unlock();
        idleLeft = idle();
        continue;
      }
      handover.unitDone.wait(lock, [&handover] { return !handover.done.empty(); });
      if (handover.failure) std::rethrow_exception(handover.failure);
      unit = handover.done.front();
      handover.done.pop_front();
    }
    finish(unit);
    idleLeft = true;
    ++finished;
  }
}

}  // namespace qvn::pack
