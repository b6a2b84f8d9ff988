#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "compression/buffer_format.h"
#include "tools/pack/build/game_folder.h"
#include "tools/pack/build/payload_builder.h"
#include "tools/pack/build/worker_pool.h"

namespace qvn::pack {

// Exit statuses of qvn_pack.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitRefused = 1;  // the input is refused or damaged, or cannot be read or written
inline constexpr int kExitUsage = 2;    // the command line is wrong

struct BuildCommand {
  std::filesystem::path gameDir;
  std::filesystem::path out;
  std::optional<std::filesystem::path> digestOut;  // default: "<out>.digest"
  compression::Level level = compression::Level::kFast;
  unsigned jobs = MachineThreadCount();
};

// `build`'s packing of a scanned folder, shared with `launcher`: warns
// about empty folders, packs with a progress bar, giving the payload to
// `output` as it is made. Raises PackRefused listing every problem.
struct PackedGame {
  PayloadSummary payload;
  std::size_t fileCount = 0;
  std::uint64_t expandedSize = 0;
};
PackedGame PackScannedGame(const GameFolderScan& scan, const BuildCommand& command, const PayloadOutput& output);

// "packed N files, E bytes, into P bytes (x%)" and a line feed.
std::string DescribePacking(const PackedGame& packed);

// Runs a command that packs `gameDir`; a refusal or failure is printed on
// standard error and gives exit status 1.
int RunRefusable(const std::filesystem::path& gameDir, const std::function<int()>& command);

// Each prints its result on standard output and its warnings and failures
// on standard error, and returns the exit status.
int RunBuild(const BuildCommand& command);
int RunList(const std::filesystem::path& file);
int RunVerify(const std::filesystem::path& file);

}  // namespace qvn::pack
