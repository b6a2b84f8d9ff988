#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compression/buffer_format.h"
#include "tools/pack/cli/verb_report.h"
#include "tools/pack/packing/game_folder.h"
#include "tools/pack/packing/payload_builder.h"
#include "tools/pack/packing/worker_pool.h"

namespace CLI {
class App;
}

namespace qvn::pack {

// What `build` and `launcher` pack: the game folder, the level and the jobs.
struct PackOptions {
  std::filesystem::path gameDir;
  compression::Level level = compression::Level::kFast;
  unsigned jobs = MachineThreadCount();
};

// Adds --level to a packing command, spelled alike in every verb's help.
void AddLevelOption(CLI::App& command, compression::Level& level);

// Adds --jobs to a packing command: how many threads compress at once. A
// value below 1 or not a number is a usage error.
void AddJobsOption(CLI::App& command, unsigned& jobs);

// The packing of a scanned folder, shared by `build` and `launcher`: warns
// about empty folders, packs with a progress bar, giving the payload to
// `output` as it is made. Raises PackRefused listing every problem.
struct PackedGame {
  PayloadSummary payload;
  std::size_t fileCount = 0;
  std::uint64_t expandedSize = 0;
  std::vector<std::string> emptyFolders;  // left out, with a warning
};
PackedGame PackScannedGame(const GameFolderScan& scan, const PackOptions& options, const PayloadOutput& output);

// "packed N files, E bytes, into P bytes (x%)" and a line feed.
std::string DescribePacking(const PackedGame& packed);

// The fields of a --json report that `build` and `launcher` share:
// gameDir, fileCount, expandedSize, emptyFoldersLeftOut.
nlohmann::json PackingFields(const std::filesystem::path& gameDir, const PackedGame& packed);

// Runs a command that packs `gameDir`; a refusal or failure is reported
// through `report` and gives exit status 1.
int RunRefusable(const VerbReport& report, const std::filesystem::path& gameDir, const std::function<int()>& command);

// Prints "qvn_pack: <message>" on standard error; returns exit status 1.
int Fail(const std::string& message);

}  // namespace qvn::pack
