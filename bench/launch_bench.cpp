// The launch benchmark, run under Wine. Puts a payload into a copy of the
// bare launcher and, alternating with the floor program (launch_floor.cpp)
// in the same run, starts it several times from a short work folder. Per
// run: launcher start to game start (the time just before CreateProcessW
// against the game double's own timestamp in game.log, one clock), the
// whole run (until the launcher has ended), and the launcher's peak memory
// (GetProcessMemoryInfo, polled while it runs). Also the cost of starting a
// trivial program at all (the game double run directly). Prints every run,
// then "name value" lines with the medians; also the median of each run's
// launch over the floor just before it, and the fastest runs, which others'
// work on the shared cores disturbs least.
//
// Usage: launch_bench PAYLOAD DIGEST GAME_DIR WORK_DIR [RUNS]

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <exception>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/path_composition.h"
#include "bench/launch_clock.h"
#include "bench/timed_process.h"
#include "payload/payload_contract.h"
#include "runtime/expanded_buffer.h"
#include "tests/support/launcher_copy.h"
#include "tests/support/scratch_directory.h"

namespace {

namespace bench = qvn::bench;
using qvn::JoinPath;
using qvn::testing::Narrow;

constexpr std::uint64_t kMemoryAllowance = 32u << 20;

struct LaunchFigures {
  double floorSeconds = 0;
  double toGameSeconds = 0;
  double wholeSeconds = 0;
  double processStartSeconds = 0;
  double peakWorkingSet = 0;
  double peakPagefile = 0;
  double peakWorkingSetAfterEnd = 0;
  // This run's launch over the floor measured just before it, under much
  // the same load from others.
  double pairedRatio = 0;
};

std::wstring SiblingOfThisProgram(const wchar_t* name) {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return JoinPath(qvn::ParentDirectory(path), name);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::vector<double> ValuesOf(const std::vector<LaunchFigures>& runs, double LaunchFigures::*figure) {
  std::vector<double> values;
  values.reserve(runs.size());
  for (const LaunchFigures& run : runs) values.push_back(run.*figure);
  return values;
}

double MedianOf(const std::vector<LaunchFigures>& runs, double LaunchFigures::*figure) {
  return Median(ValuesOf(runs, figure));
}

// The fastest run of each, which others' work on the shared cores disturbs
// least: shown beside the medians.
double BestOf(const std::vector<LaunchFigures>& runs, double LaunchFigures::*figure) {
  const std::vector<double> values = ValuesOf(runs, figure);
  return *std::min_element(values.begin(), values.end());
}

// This virtual machine hands memory that stays free for about two seconds
// back to its host, and the next first touch of it is several times
// slower. Touched here just before each timed program, enough of it is the
// guest's again that neither the floor nor the launcher pays that toll,
// rather than whichever happens to come first.
void ReclaimFreeMemory() {
  const qvn::ExpandedBuffer memory(std::size_t{640} << 20);
  volatile std::uint8_t* const bytes = memory.bytes().data();
  for (std::size_t page = 0; page < memory.bytes().size(); page += 4096) bytes[page] = 1;
}

// Runs the floor program: its own start, on this side's clock, and the
// work it timed after that.
double FloorSeconds(const std::wstring& payload, const std::wstring& gameDirectory, const std::wstring& work) {
  const std::wstring output = JoinPath(work, L"floor.txt");
  const std::wstring arguments =
      L"\"" + payload + L"\" \"" + gameDirectory + L"\" \"" + JoinPath(work, L"floor") + L"\"";
  const bench::TimedRun run = bench::RunTimed(SiblingOfThisProgram(L"launch_floor.exe"), arguments, output);
  const std::string text = qvn::testing::ReadFileText(output);
  // floor_entered_ticks <count> floor_work_seconds <seconds>
  std::istringstream figures(text);
  std::string enteredName, workName;
  unsigned long long entered = 0;
  double workSeconds = 0;
  figures >> enteredName >> entered >> workName >> workSeconds;
  if (run.exitCode != 0 || !figures || enteredName != "floor_entered_ticks" || workName != "floor_work_seconds") {
    throw std::runtime_error("the floor program failed: " + text);
  }
  return bench::SecondsBetween(run.createdAt, entered) + workSeconds;
}

// The game double started directly: what any process start costs here.
double ProcessStartSeconds(const std::wstring& work) {
  const std::wstring output = JoinPath(work, L"start.txt");
  const bench::TimedRun run = bench::RunTimed(SiblingOfThisProgram(L"bench_game.exe"), L"", output);
  const auto started = bench::FindGameStart(qvn::testing::ReadFileText(output));
  if (run.exitCode != 0 || !started) throw std::runtime_error("the game double did not report its start");
  return bench::SecondsBetween(run.createdAt, *started);
}

void RunLauncher(const std::wstring& launcher, const std::wstring& work, LaunchFigures& figures) {
  const std::wstring dataDirectory = JoinPath(work, L"data");
  qvn::testing::RemoveTreeForcibly(dataDirectory);
  const std::wstring output = JoinPath(work, L"launcher.txt");
  const bench::TimedRun run = bench::RunTimed(launcher, L"", output);
  if (run.exitCode != 0) {
    throw std::runtime_error("the launcher exited with " + std::to_string(run.exitCode) + ": " +
                             qvn::testing::ReadFileText(output));
  }
  const auto started = bench::FindGameStart(qvn::testing::ReadFileText(JoinPath(dataDirectory, L"game.log")));
  if (!started) throw std::runtime_error("game.log has no start time of the game");
  figures.toGameSeconds = bench::SecondsBetween(run.createdAt, *started);
  figures.wholeSeconds = bench::SecondsBetween(run.createdAt, run.endedAt);
  figures.peakWorkingSet = static_cast<double>(run.peakWorkingSet);
  figures.peakPagefile = static_cast<double>(run.peakPagefile);
  figures.peakWorkingSetAfterEnd = static_cast<double>(run.peakWorkingSetAfterEnd);
}

std::uint64_t LargestFileBytes(const std::wstring& gameDirectory) {
  std::uint64_t largest = 0;
  for (const auto& [name, contents] : qvn::testing::ListTree(gameDirectory)) {
    largest = std::max<std::uint64_t>(largest, contents.size());
  }
  return largest;
}

double Mebibytes(double bytes) { return bytes / (1 << 20); }

int Run(const std::wstring& payload, const std::wstring& digest, const std::wstring& gameDirectory,
        const std::wstring& work, int runs, bool progressWindow) {
  qvn::testing::RemoveTreeForcibly(work);
  if (!CreateDirectoryW(work.c_str(), nullptr)) throw std::runtime_error("cannot create the work folder");
  const std::wstring launcher = JoinPath(work, L"qvn.exe");
  qvn::testing::PayloadResources resources;
  resources.payload = qvn::testing::ReadFileBytes(payload);
  resources.digest = qvn::testing::ReadFileBytes(digest);
  if (!progressWindow) resources.progressWindow = {qvn::kProgressWindowNever};
  qvn::testing::MakeLauncherCopy(launcher, resources);
  const std::uint64_t payloadBytes = resources.payload.size();
  resources = {};
  const std::uint64_t largestBytes = LargestFileBytes(gameDirectory);

  // One of each first, unrecorded, so that every recorded run finds the
  // same warm caches.
  LaunchFigures warmUp;
  FloorSeconds(payload, gameDirectory, work);
  RunLauncher(launcher, work, warmUp);

  std::vector<LaunchFigures> figures(static_cast<std::size_t>(runs));
  for (int index = 0; index < runs; ++index) {
    LaunchFigures& run = figures[static_cast<std::size_t>(index)];
    ReclaimFreeMemory();
    run.floorSeconds = FloorSeconds(payload, gameDirectory, work);
    ReclaimFreeMemory();
    RunLauncher(launcher, work, run);
    run.pairedRatio = run.toGameSeconds / run.floorSeconds;
    run.processStartSeconds = ProcessStartSeconds(work);
    std::printf(
        "# run %d: floor %.3f s, launch to game %.3f s (%.2f x), whole run %.3f s, process start %.3f s, "
        "peak working set %.1f MiB (after end %.1f), peak pagefile %.1f MiB\n",
        index + 1, run.floorSeconds, run.toGameSeconds, run.pairedRatio, run.wholeSeconds, run.processStartSeconds,
        Mebibytes(run.peakWorkingSet), Mebibytes(run.peakWorkingSetAfterEnd), Mebibytes(run.peakPagefile));
    std::fflush(stdout);
  }

  const double floorSeconds = MedianOf(figures, &LaunchFigures::floorSeconds);
  const double toGameSeconds = MedianOf(figures, &LaunchFigures::toGameSeconds);
  std::printf("runs %d\n", runs);
  std::printf("payload_bytes %llu\n", static_cast<unsigned long long>(payloadBytes));
  std::printf("largest_entry_bytes %llu\n", static_cast<unsigned long long>(largestBytes));
  std::printf("memory_budget_bytes %llu\n",
              static_cast<unsigned long long>(payloadBytes + largestBytes + kMemoryAllowance));
  std::printf("floor_seconds %.4f\n", floorSeconds);
  std::printf("launch_to_game_seconds %.4f\n", toGameSeconds);
  std::printf("launch_over_floor %.3f\n", toGameSeconds / floorSeconds);
  const double bestFloorSeconds = BestOf(figures, &LaunchFigures::floorSeconds);
  const double bestToGameSeconds = BestOf(figures, &LaunchFigures::toGameSeconds);
  std::printf("median_paired_ratio %.3f\n", MedianOf(figures, &LaunchFigures::pairedRatio));
  std::printf("best_floor_seconds %.4f\n", bestFloorSeconds);
  std::printf("best_launch_to_game_seconds %.4f\n", bestToGameSeconds);
  std::printf("best_launch_over_best_floor %.3f\n", bestToGameSeconds / bestFloorSeconds);
  // No CPU seconds: Wine 8.0's GetProcessTimes on another process returns
  // the caller's own times, which grew with every run. scripts/bench.sh
  // takes each process's CPU from Linux instead.
  std::printf("whole_run_seconds %.4f\n", MedianOf(figures, &LaunchFigures::wholeSeconds));
  std::printf("process_start_seconds %.4f\n", MedianOf(figures, &LaunchFigures::processStartSeconds));
  std::printf("peak_working_set_bytes %.0f\n", MedianOf(figures, &LaunchFigures::peakWorkingSet));
  std::printf("peak_pagefile_bytes %.0f\n", MedianOf(figures, &LaunchFigures::peakPagefile));
  std::printf("peak_working_set_after_end_bytes %.0f\n", MedianOf(figures, &LaunchFigures::peakWorkingSetAfterEnd));
  qvn::testing::RemoveTreeForcibly(JoinPath(work, L"data"));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // The floor shows no window, so by default neither does the launcher:
  // "window" measures it as shipped, with its progress window.
  const bool progressWindow = argc == 7 && std::wcscmp(argv[6], L"window") == 0;
  if (argc < 5 || argc > 7 || (argc == 7 && !progressWindow)) {
    std::fprintf(stderr, "usage: launch_bench PAYLOAD DIGEST GAME_DIR WORK_DIR [RUNS [window]]\n");
    return 2;
  }
  try {
    const int runs = argc >= 6 ? std::max(1, _wtoi(argv[5])) : 5;
    return Run(argv[1], argv[2], argv[3], argv[4], runs, progressWindow);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "launch_bench: %s\n", failure.what());
    return 1;
  }
}
