#pragma once

#include <cstddef>
#include <span>

namespace qvn::pack {

// How many threads the machine runs at once (at least 1): the default
// number of packing jobs.
unsigned MachineThreadCount();

// The calling thread's side of a run: workers never see it, so what only
// it uses needs no lock.
class UnitSchedule {
 public:
  // Makes the unit ready for a worker, in ascending order.
  virtual void Prepare(std::size_t unit) = 0;
  // Runs while a worker has the unit, in ascending order, once no more
  // units can be prepared (so that no worker waits on it). It must not
  // change what the worker reads.
  virtual void Alongside(std::size_t /*unit*/) {}
  // Takes the unit back once its worker and Alongside are done with it, in
  // any order.
  virtual void Finish(std::size_t unit) = 0;
  // A bounded piece of the calling thread's own work, done when it would
  // otherwise wait for a unit; says whether some is left. No unit is
  // prepared while it runs, so each piece should be short.
  virtual bool Idle() { return false; }

 protected:
  ~UnitSchedule() = default;
};

// One worker thread's side: each thread has its own, so what it keeps
// across units (an encoder) is its own.
class UnitWorker {
 public:
  virtual void Work(std::size_t unit) = 0;

 protected:
  ~UnitWorker() = default;
};

// Runs units 0 to count - 1 through `schedule` on the calling thread and a
// worker each, of which there is at least one (one thread per worker, at
// most `count` of them; one worker
// still gets a thread of its own, so that Alongside overlaps its work).
// Prepare runs one unit ahead of the workers at most, so that a worker that
// is done finds its next unit ready: at most workers.size() + 1 units are
// between Prepare and Finish, which bounds what they hold. The first
// failure of any step is raised on the calling thread after the workers
// have stopped; units not yet started are dropped.
void RunOnWorkers(std::size_t count, UnitSchedule& schedule, std::span<UnitWorker* const> workers);

}  // namespace qvn::pack
