// Prints how fast qvn_pack's library packs a game folder of about 110 MB at
// each level: seconds, MB/s (10^6 bytes of game files per second) and the
// payload's size as a share of the files'; and how fast the result verifies.
// CPU seconds are shown beside wall seconds: on a busy shared machine the
// CPU figure is the one that says what the packer itself costs.
// The folder is made for the run from this system's files: a 100 MB
// "Quorvane.exe" of concatenated shared libraries, and 10 MB of assets cut
// from system headers and binaries, then removed. Figures only: the machine
// is shared, so compare within one run.
//
// Usage: qvn_pack_bench [SCRATCH_DIR]   (default: the system's temp folder)

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/examine/payload_verification.h"
#include "tools/pack/packing/game_folder.h"

namespace {

namespace fs = std::filesystem;
using qvn::compression::Level;

constexpr std::size_t kExecutableBytes = 100'000'000;
constexpr std::size_t kAssetBytes = 10'000'000;
constexpr std::size_t kAssetFileBytes = 500'000;

// Regular files below `directory` that `wanted` picks, in name order, so
// that every run packs the same bytes.
std::vector<fs::path> FilesBelow(const fs::path& directory, bool (*wanted)(const fs::path&)) {
  std::vector<fs::path> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(directory, fs::directory_options::skip_permission_denied, error), end;
       it != end; it.increment(error)) {
    if (it->is_regular_file(error) && !it->is_symlink(error) && wanted(it->path())) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::uint8_t> Concatenate(const std::vector<fs::path>& files, std::size_t limit) {
  std::vector<std::uint8_t> data;
  for (const fs::path& file : files) {
    if (data.size() >= limit) break;
    std::vector<std::uint8_t> contents = qvn::pack::ReadFileBytes(file);
    contents.resize(std::min(contents.size(), limit - data.size()));
    data.insert(data.end(), contents.begin(), contents.end());
  }
  return data;
}

void WriteBytes(const fs::path& path, const std::uint8_t* bytes, std::size_t size) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

// Writes the game folder and returns the bytes it holds.
std::size_t MakeGameFolder(const fs::path& folder) {
  const auto isLibrary = [](const fs::path& path) { return path.filename().string().find(".so") != std::string::npos; };
  const auto isHeader = [](const fs::path& path) { return path.extension() == ".h"; };
  const auto isProgram = [](const fs::path&) { return true; };
  const std::vector<std::uint8_t> executable =
      Concatenate(FilesBelow("/usr/lib/x86_64-linux-gnu", isLibrary), kExecutableBytes);
  WriteBytes(folder / "Quorvane.exe", executable.data(), executable.size());

  std::vector<std::uint8_t> assets = Concatenate(FilesBelow("/usr/include", isHeader), kAssetBytes / 2);
  const std::vector<std::uint8_t> binaries = Concatenate(FilesBelow("/usr/bin", isProgram), kAssetBytes / 2);
  assets.insert(assets.end(), binaries.begin(), binaries.end());
  for (std::size_t offset = 0, index = 0; offset < assets.size(); offset += kAssetFileBytes, ++index) {
    const std::size_t size = std::min(kAssetFileBytes, assets.size() - offset);
    const char* kind = offset < kAssetBytes / 2 ? "text" : "data";
    WriteBytes(folder / "assets" / kind / ("part" + std::to_string(index) + ".bin"), assets.data() + offset, size);
  }
  return executable.size() + assets.size();
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double CpuSecondsSince(std::clock_t start) { return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
  const fs::path scratch = (argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path()) / "qvn-pack-bench";
  fs::remove_all(scratch);
  const std::size_t folderBytes = MakeGameFolder(scratch / "game");
  const double folderMegabytes = static_cast<double>(folderBytes) / 1e6;
  std::printf("game folder: %zu bytes (%.1f MB) in %s\n", folderBytes, folderMegabytes, (scratch / "game").c_str());
  std::printf("%-7s %9s %9s %9s %7s %14s %9s %9s\n", "level", "pack s", "cpu s", "MB/s", "ratio", "payload bytes",
              "verify s", "MB/s");

  for (const Level level : {Level::kFast, Level::kStrong}) {
    const auto packStart = std::chrono::steady_clock::now();
    const std::clock_t packCpuStart = std::clock();
    const qvn::pack::GameFolderScan scan = qvn::pack::ScanGameFolder(scratch / "game");
    std::vector<std::uint8_t> payload;
    qvn::pack::WriteGameFolderPayload(scan, level, {}, 1, qvn::pack::AppendingTo(payload));
    const double packSeconds = SecondsSince(packStart);
    const double packCpuSeconds = CpuSecondsSince(packCpuStart);

    const auto verifyStart = std::chrono::steady_clock::now();
    const qvn::pack::VerificationReport report = qvn::pack::VerifyPayloadFile(payload, 1);
    const double verifySeconds = SecondsSince(verifyStart);

    std::printf("%-7d %9.2f %9.2f %9.1f %6.1f%% %14zu %9.2f %9.1f%s\n", static_cast<int>(level), packSeconds,
                packCpuSeconds, folderMegabytes / packSeconds,
                100.0 * static_cast<double>(payload.size()) / static_cast<double>(folderBytes), payload.size(),
                verifySeconds, folderMegabytes / verifySeconds, report.passed() ? "" : "  (verify FAILED)");
  }
  fs::remove_all(scratch);
  return 0;
}
