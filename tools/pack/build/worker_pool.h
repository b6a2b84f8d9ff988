#pragma once

#include <cstddef>
#include <functional>

namespace qvn::pack {

// How many threads the machine runs at once (at least 1): the default
// number of packing jobs.
unsigned MachineThreadCount();

using UnitStep = std::function<void(std::size_t unit)>;
// Told which worker thread runs it, from 0 to jobs - 1: what it keeps for
// itself across units, such as an encoder, it keeps per worker.
using WorkStep = std::function<void(std::size_t unit, std::size_t worker)>;

// Runs units 0 to count - 1 in three steps: prepare(unit) on the calling
// thread, in ascending order, one unit ahead of the workers at most, so
// that a worker that is done finds its next unit ready; work(unit, worker)
// on one of `jobs` worker threads; finish(unit) on the calling thread as
// units complete, in any order. So at most `jobs` units are worked on at
// once and at most jobs + 1 are between prepare and finish, which bounds
// what they hold; one job means one worker thread. The first failure of
// any step is raised on the calling thread after the workers have stopped;
// units not yet started are dropped.
void RunOnWorkers(unsigned jobs, std::size_t count, const UnitStep& prepare, const WorkStep& work,
                  const UnitStep& finish);

// The same with one more step: alongside(unit) on the calling thread, in
// ascending order, after the unit has been handed to the workers and once
// no more units can be prepared (so that no worker waits on it): it runs
// while work(unit) does. It must not change what work(unit) uses;
// finish(unit) comes after both.
void RunOnWorkers(unsigned jobs, std::size_t count, const UnitStep& prepare, const UnitStep& alongside,
                  const WorkStep& work, const UnitStep& finish);

// Told to do a bounded piece of the calling thread's own work; says whether
// some is left.
using IdleStep = std::function<bool()>;

// The same again with idle() called on the calling thread whenever it would
// otherwise wait for a unit to complete, until it says nothing is left (and
// again after each finish). Each piece should be short: no unit is prepared
// while it runs.
void RunOnWorkers(unsigned jobs, std::size_t count, const UnitStep& prepare, const UnitStep& alongside,
                  const WorkStep& work, const UnitStep& finish, const IdleStep& idle);

}  // namespace qvn::pack
