#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/utf8_path.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/cli/command_refusal.h"
#include "tools/pack/cli/path_option.h"
#include "tools/pack/cli/report_fields.h"
#include "tools/pack/cli/subcommand.h"
#include "tools/pack/cli/verb_report.h"
#include "tools/pack/crash/crash_analysis.h"
#include "tools/pack/crash/crash_json.h"
#include "tools/pack/crash/crash_text.h"
#include "tools/pack/crash/minidump_reader.h"
#include "tools/pack/crash/scratch_folder.h"
#include "tools/pack/examine/payload_files.h"
#include "tools/pack/examine/payload_source.h"

namespace qvn::pack {
namespace {

namespace fs = std::filesystem;

constexpr const char* kReportName = "crash-last.txt";

struct CrashOptions {
  fs::path dump;
  std::optional<fs::path> launcher;
  std::optional<fs::path> gameDir;
  std::vector<std::string> symbolFolders;
  bool json = false;
};

// Only code can be matched to a module.
bool IsImageName(const std::string& name) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.ends_with(".exe") || lower.ends_with(".dll");
}

std::vector<CandidateImage> LauncherImages(const fs::path& launcher) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(launcher);
  std::vector<CandidateImage> images;
  for (PayloadFile& file : ReadPayloadFiles(bytes, IsImageName)) {
    images.push_back({std::move(file.name), std::move(file.bytes), std::nullopt});
  }
  return images;
}

std::vector<CandidateImage> GameFolderImages(const fs::path& folder) {
  if (!fs::is_directory(folder)) {
    throw CommandRefused(CommandFault::kInput, "--game-dir " + PathText(folder) + " is not a folder");
  }
  std::vector<CandidateImage> images;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::string name = PathText(entry.path().lexically_relative(folder));
    std::replace(name.begin(), name.end(), '\\', '/');
    if (!IsImageName(name)) continue;
    images.push_back({name, ReadFileBytes(entry.path()), entry.path()});
  }
  return images;
}

std::optional<CrashReportFile> ReadReport(const fs::path& path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) return std::nullopt;
  std::ostringstream text;
  text << stream.rdbuf();
  return ParseCrashReport(text.str());
}

int AnalyzeCrash(const CrashOptions& options, const VerbReport& verb) {
  const bool reportGiven = options.dump.extension() == ".txt";
  const fs::path reportPath = reportGiven ? options.dump : options.dump.parent_path() / kReportName;
  const std::optional<CrashReportFile> report = ReadReport(reportPath);
  if (reportGiven && !report) throw Error(PathText(reportPath) + ": cannot be read");

  std::vector<std::uint8_t> dumpBytes;
  std::optional<Minidump> dump;
  std::string dumpFailure;
  if (!reportGiven) {
    try {
      dumpBytes = ReadFileBytes(options.dump);
      dump = ReadMinidump(dumpBytes);
    } catch (const std::runtime_error& error) {
      // Without crash-last.txt nothing is left to read.
      if (!report) return verb.Refuse(CurrentFault(PathText(options.dump)));
      dumpFailure = error.what();
    }
  }

  CodeSources sources;
  try {
    if (options.launcher) {
      sources.candidates = LauncherImages(*options.launcher);
      sources.sourceName = "the launcher";
    } else if (options.gameDir) {
      sources.candidates = GameFolderImages(*options.gameDir);
      sources.sourceName = "the game folder";
    }
  } catch (const std::runtime_error&) {
    return verb.Refuse(CurrentFault(PathText(options.launcher ? *options.launcher : *options.gameDir)));
  }
  for (const std::string& folder : options.symbolFolders) sources.symbolFolders.push_back(Utf8Path(folder));
  sources.symbolizer = LlvmSymbolizer::Find();
  const ScratchFolder scratch;
  sources.scratch = scratch.path();

  CrashAnalysis analysis;
  if (dump) {
    analysis = AnalyzeDump(*dump, std::move(sources));
    analysis.report = report;
  } else {
    analysis = AnalyzeReportAlone(*report, std::move(sources));
    if (!dumpFailure.empty()) {
      analysis.notes.insert(analysis.notes.begin(), PathText(options.dump) + " cannot be read (" + dumpFailure +
                                                        "); the first frame comes from " + kReportName);
    }
  }
  return verb.Succeed(CrashJsonFields(analysis), FormatCrashText(analysis));
}

}  // namespace

Subcommand AddCrashCommand(CLI::App& app) {
  const auto options = std::make_shared<CrashOptions>();
  CLI::App* command = app.add_subcommand(
      "crash", "Name the call stack of a player's crash from crash-last.dmp (or crash-last.txt alone)");
  AddPathOption(*command, "DUMP", options->dump,
                "crash-last.dmp; crash-last.txt beside it is read too, and alone when the dump is missing or damaged")
      ->required();
  CLI::Option* launcher = AddPathOption(*command, "--launcher", options->launcher,
                                        "The launcher the player ran: the game's own files are read from it");
  CLI::Option* gameDir = AddPathOption(*command, "--game-dir", options->gameDir, "The game folder that was packed");
  launcher->excludes(gameDir);
  command
      ->add_option("--symbols", options->symbolFolders,
                   "A folder with debug information: unstripped images, NAME.debug or PDB files (repeatable)")
      ->type_name("DIR")
      ->allow_extra_args(false);
  AddJsonFlag(*command, options->json);
  return {command, [options] {
            const VerbReport verb("crash", options->json);
            try {
              return AnalyzeCrash(*options, verb);
            } catch (const std::exception&) {
              return verb.Refuse(CurrentFault());
            }
          }};
}

}  // namespace qvn::pack
