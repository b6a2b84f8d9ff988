#include "tools/pack/cli/game_packing.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <iostream>

#include "base/utf8_path.h"
#include "tools/pack/cli/counted.h"
#include "tools/pack/cli/exit_status.h"
#include "tools/pack/cli/progress_bar.h"
#include "tools/pack/packing/pack_refusal.h"

namespace qvn::pack {
namespace {

// Far more than any machine's cores; each job holds an encoder and an
// 8 MiB window, about 15 MiB.
constexpr unsigned kMaxJobs = 1024;

std::string Percent(std::uint64_t part, std::uint64_t whole) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%",
                whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole));
  return text;
}

void WarnAboutEmptyFolders(const GameFolderScan& scan) {
  for (const std::string& folder : scan.emptyFolders) {
    std::cerr << "qvn_pack: warning: " << folder << ": empty folder left out; a payload stores only files\n";
  }
}

}  // namespace

void AddLevelOption(CLI::App& command, compression::Level& level) {
  command
      .add_option_function<int>(
          "--level", [&level](const int& value) { level = static_cast<compression::Level>(value); },
          "1: fast (default), 2: strong")
      ->type_name("1|2")
      ->check(CLI::Range(1, 2).description(""));
}

void AddJobsOption(CLI::App& command, unsigned& jobs) {
  command
      .add_option("--jobs", jobs,
                  "8 MiB pieces of files, or bunches of small files, compressed at once (default: one per core)")
      ->check(CLI::Range(1u, kMaxJobs));
}

PackedGame PackScannedGame(const GameFolderScan& scan, const PackOptions& options, const PayloadOutput& output) {
  WarnAboutEmptyFolders(scan);
  PackedGame packed;
  {
    ProgressBar bar("packing");
    packed.payload = WriteGameFolderPayload(
        scan, options.level, [&bar](std::uint64_t done, std::uint64_t total) { bar.Update(done, total); }, options.jobs,
        output);
  }
  packed.fileCount = scan.files.size();
  packed.expandedSize = ExpandedSize(scan);
  packed.emptyFolders = scan.emptyFolders;
  return packed;
}

std::string DescribePacking(const PackedGame& packed) {
  return "packed " + Counted(packed.fileCount, "file") + ", " + std::to_string(packed.expandedSize) + " bytes, into " +
         std::to_string(packed.payload.size) + " bytes (" + Percent(packed.payload.size, packed.expandedSize) + ")\n";
}

int Fail(const std::string& message) {
  std::cerr << "qvn_pack: " << message << "\n";
  return kExitRefused;
}

nlohmann::json PackingFields(const std::filesystem::path& gameDir, const PackedGame& packed) {
  return {{"gameDir", PathText(gameDir)},
          {"fileCount", packed.fileCount},
          {"expandedSize", packed.expandedSize},
          {"emptyFoldersLeftOut", packed.emptyFolders}};
}

int RunRefusable(const VerbReport& report, const std::filesystem::path& gameDir, const std::function<int()>& command) {
  try {
    return command();
  } catch (const PackRefused& refusal) {
    Fault fault = CurrentFault();
    fault.message = "refused " + PathText(gameDir) + ", nothing written: " + refusal.what();
    return report.Refuse(fault);
  } catch (const std::exception&) {
    return report.Refuse(CurrentFault());
  }
}

}  // namespace qvn::pack
