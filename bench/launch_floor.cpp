// The floor of the launch benchmark: only the work the launcher cannot
// avoid, with the same platform calls, timed on the same clock. Timed: its
// own process start (from the runner's CreateProcessW to this program's
// entry), reading the payload from its file, one BCryptHash over it, then
// per game file the launcher's own expanded buffer (one, reused), filled by
// a copy (the stand-in for decoding), one BCryptHash and the launcher's own write of
// a runtime file into a fresh folder (and CreateDirectoryW per folder),
// then starting the Quorvane.exe it wrote until that game double reports
// its start. Not timed: loading the game's files into memory, and removing
// the folder afterwards. Prints "floor_entered_ticks T" (this program's
// entry on the bench clock) and "floor_work_seconds S" (the timed work
// after it); the runner adds its own start to them.
//
// Usage: launch_floor PAYLOAD GAME_DIR OUT_DIR

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/path_composition.h"
#include "base/sha256.h"
#include "bench/launch_clock.h"
#include "bench/timed_process.h"
#include "payload/payload_contract.h"
#include "runtime/expanded_buffer.h"
#include "runtime/runtime_file.h"
#include "tests/support/scratch_directory.h"

namespace {

using qvn::testing::Narrow;
using qvn::testing::Widen;

struct GameFile {
  std::wstring relativePath;  // "\" separators; a folder when it ends in one
  std::string contents;
};

std::vector<GameFile> LoadGameFiles(const std::wstring& gameDirectory) {
  std::vector<GameFile> files;
  for (auto& [name, contents] : qvn::testing::ListTree(gameDirectory)) {
    std::wstring relativePath = Widen(name);
    std::replace(relativePath.begin(), relativePath.end(), L'/', L'\\');
    files.push_back({std::move(relativePath), std::move(contents)});
  }
  return files;
}

void Require(bool succeeded, const char* what) {
  if (!succeeded) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(GetLastError()));
}

// From reading the payload until the game double written into
// `outDirectory` reports its start.
double TimeFloor(const std::wstring& payloadPath, const std::vector<GameFile>& files,
                 const std::wstring& outDirectory) {
  const std::uint64_t start = qvn::bench::PreciseNow();
  qvn::HashSha256(qvn::testing::ReadFileBytes(payloadPath));
  Require(CreateDirectoryW(outDirectory.c_str(), nullptr), "CreateDirectoryW");
  // One buffer for every file, as large as the largest, as the launcher
  // takes: its first touch is part of the floor, the decoding in it is not.
  std::size_t largest = 0;
  for (const GameFile& file : files) largest = std::max(largest, file.contents.size());
  const qvn::ExpandedBuffer buffer(largest);
  for (const GameFile& file : files) {
    const std::wstring path = qvn::JoinPath(outDirectory, file.relativePath);
    if (file.relativePath.ends_with(L'\\')) {
      Require(CreateDirectoryW(path.c_str(), nullptr), "CreateDirectoryW");
      continue;
    }
    const std::span<std::uint8_t> contents = buffer.bytes().first(file.contents.size());
    std::copy(file.contents.begin(), file.contents.end(), contents.begin());
    qvn::HashSha256(contents);
    qvn::WriteRuntimeFile(path, contents);
  }
  const std::wstring log = outDirectory + L".log";
  const qvn::bench::TimedRun game =
      qvn::bench::RunTimed(qvn::JoinPath(outDirectory, qvn::kMainExecutableName.wide()), L"", log);
  const auto started = qvn::bench::FindGameStart(qvn::testing::ReadFileText(log));
  DeleteFileW(log.c_str());
  if (game.exitCode != 0 || !started) throw std::runtime_error("the game double did not report its start");
  return qvn::bench::SecondsBetween(start, *started);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::uint64_t entered = qvn::bench::PreciseNow();
  if (argc != 4) {
    std::fprintf(stderr, "usage: launch_floor PAYLOAD GAME_DIR OUT_DIR\n");
    return 2;
  }
  try {
    const std::vector<GameFile> files = LoadGameFiles(argv[2]);
    const std::wstring outDirectory = argv[3];
    qvn::testing::RemoveTreeForcibly(outDirectory);
    const double seconds = TimeFloor(argv[1], files, outDirectory);
    qvn::testing::RemoveTreeForcibly(outDirectory);
    std::printf("floor_entered_ticks %llu\nfloor_work_seconds %.4f\n", static_cast<unsigned long long>(entered),
                seconds);
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "launch_floor: %s\n", failure.what());
    return 1;
  }
}
