// The floor of the launch benchmark: only the work the launcher cannot
// avoid, with the same platform calls. Timed: one BCryptHash over the whole
// payload, then per game file one BCryptHash and one CreateFileW + WriteFile
// into a fresh folder (and CreateDirectoryW per folder). Not timed: loading
// the payload and the expanded files into memory first, and removing the
// folder afterwards. Prints "floor_seconds S".
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
#include "base/win/unique_handle.h"
#include "bench/launch_clock.h"
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

// The launcher's own flags for a runtime file.
void WriteWholeFile(const std::wstring& path, const std::string& contents) {
  qvn::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  Require(file.valid(), "CreateFileW");
  DWORD written = 0;
  Require(WriteFile(file.get(), contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
              written == contents.size(),
          "WriteFile");
}

std::span<const std::uint8_t> BytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

double TimeFloor(const std::vector<std::uint8_t>& payload, const std::vector<GameFile>& files,
                 const std::wstring& outDirectory) {
  const std::uint64_t start = qvn::bench::PreciseNow();
  qvn::HashSha256(payload);
  Require(CreateDirectoryW(outDirectory.c_str(), nullptr), "CreateDirectoryW");
  for (const GameFile& file : files) {
    const std::wstring path = qvn::JoinPath(outDirectory, file.relativePath);
    if (file.relativePath.ends_with(L'\\')) {
      Require(CreateDirectoryW(path.c_str(), nullptr), "CreateDirectoryW");
      continue;
    }
    qvn::HashSha256(BytesOf(file.contents));
    WriteWholeFile(path, file.contents);
  }
  return qvn::bench::SecondsBetween(start, qvn::bench::PreciseNow());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: launch_floor PAYLOAD GAME_DIR OUT_DIR\n");
    return 2;
  }
  try {
    const std::vector<std::uint8_t> payload = qvn::testing::ReadFileBytes(argv[1]);
    const std::vector<GameFile> files = LoadGameFiles(argv[2]);
    const std::wstring outDirectory = argv[3];
    qvn::testing::RemoveTreeForcibly(outDirectory);
    const double seconds = TimeFloor(payload, files, outDirectory);
    qvn::testing::RemoveTreeForcibly(outDirectory);
    std::printf("floor_seconds %.4f\n", seconds);
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "launch_floor: %s\n", failure.what());
    return 1;
  }
}
