#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "base/sha256.h"
#include "base/utf16_text.h"
#include "base/utf8_path.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/atomic_write/output_file.h"
#include "tools/pack/cli/command_refusal.h"
#include "tools/pack/cli/exit_status.h"
#include "tools/pack/cli/game_packing.h"
#include "tools/pack/cli/output_placement.h"
#include "tools/pack/cli/packer_directory.h"
#include "tools/pack/cli/path_option.h"
#include "tools/pack/cli/report_fields.h"
#include "tools/pack/cli/subcommand.h"
#include "tools/pack/cli/verb_report.h"
#include "tools/pack/examine/packed_output_check.h"
#include "tools/pack/image/icon_file.h"
#include "tools/pack/image/launcher_image.h"
#include "tools/pack/image/pe_resource_writer.h"
#include "tools/pack/image/version_resource.h"
#include "tools/pack/packing/game_folder.h"
#include "tools/pack/packing/pack_rules.h"

namespace qvn::pack {
namespace {

namespace fs = std::filesystem;

struct LauncherOptions {
  PackOptions pack;
  fs::path out;
  std::optional<fs::path> stub;  // default: found from the packer's folder
  std::optional<fs::path> icon;
  std::string version = "1.0.0.0";
  std::string productName = "Quorvane";
  std::string company;
  std::string description = "Quorvane portable";
  std::string copyright;
  bool noProgressWindow = false;
  bool crashCapture = false;
  bool json = false;
};

// Without --stub, the stub lies beside qvn_pack (a build tree) or in the
// share folder of the prefix that qvn_pack's bin folder belongs to (an
// installed package or an unpacked archive).
fs::path FindStub() {
  const fs::path packerDir = PackerDirectory();
  const fs::path beside = packerDir / kLauncherStubName;
  const fs::path shared = (packerDir / ".." / kInstalledStubDir / kLauncherStubName).lexically_normal();
  for (const fs::path& candidate : {beside, shared}) {
    if (fs::is_regular_file(candidate)) return candidate;
  }
  throw CommandRefused(CommandFault::kInput, "no launcher stub at " + PathText(beside) + " (beside qvn_pack) or " +
                                                 PathText(shared) + "; name one with --stub");
}

fs::path StubPath(const LauncherOptions& command) {
  fs::path stub = command.stub ? *command.stub : FindStub();
  if (!fs::is_regular_file(stub)) throw CommandRefused(CommandFault::kInput, "no launcher stub at " + PathText(stub));
  std::error_code error;
  if (fs::equivalent(stub, command.out, error)) {
    throw CommandRefused(CommandFault::kInput,
                         "--out " + PathText(command.out) + " is the stub itself; write the launcher to another file");
  }
  return stub;
}

// Each text of the version information at most this long, in UTF-16 code
// units: four of them and the file's names then always fit the 64 KiB that
// a version resource can hold.
constexpr std::size_t kMaxVersionText = 4096;

void RefuseOverlongVersionTexts(const LauncherOptions& command) {
  const std::pair<const char*, const std::string&> texts[] = {{"--product-name", command.productName},
                                                              {"--company", command.company},
                                                              {"--description", command.description},
                                                              {"--copyright", command.copyright}};
  for (const auto& [option, text] : texts) {
    std::size_t length = 0;
    try {
      length = Utf8ToUtf16(text).size();
    } catch (const TextEncodingError&) {
      continue;  // refused when the resource is built, as not UTF-8
    }
    if (length > kMaxVersionText) {
      throw CommandRefused(CommandFault::kInput, std::string(option) + " is " + std::to_string(length) +
                                                     " characters long; at most " + std::to_string(kMaxVersionText) +
                                                     " fit in the version information");
    }
  }
}

std::vector<VersionString> VersionStrings(const LauncherOptions& command, const FileVersion& version) {
  const std::string number = FormatFileVersion(version);
  return {{"CompanyName", command.company},
          {"FileDescription", command.description},
          {"FileVersion", number},
          {"InternalName", PathText(command.out.stem())},
          {"LegalCopyright", command.copyright},
          {"OriginalFilename", PathText(command.out.filename())},
          {"ProductName", command.productName},
          {"ProductVersion", number}};
}

int WriteLauncher(const LauncherOptions& command, const VerbReport& report) {
  RefuseOutputInsideGame(command.pack.gameDir, command.out, "--out");
  RefuseUnwritableOutput(command.out, "--out");
  RefuseOverlongVersionTexts(command);
  FileVersion version;
  std::vector<std::uint8_t> versionResource;
  try {
    version = ParseFileVersion(command.version);
    versionResource = BuildVersionResource(version, VersionStrings(command, version));
  } catch (const std::runtime_error& error) {
    throw CommandRefused(CommandFault::kInput, std::string("bad version information: ") + error.what());
  }

  const fs::path stubPath = StubPath(command);
  const std::vector<std::uint8_t> stub = ReadFileBytes(stubPath);
  std::vector<std::uint8_t> iconFile;
  LauncherResources resources;
  if (command.icon) {
    iconFile = ReadFileBytes(*command.icon);
    try {
      resources.icon = ReadIconFile(iconFile);
    } catch (const IconFileError& error) {
      throw CommandRefused(CommandFault::kInput, "icon " + PathText(*command.icon) + ": " + error.what());
    }
  }
  resources.version = versionResource;
  resources.progressWindow = !command.noProgressWindow;
  resources.crashCapture = command.crashCapture;
  try {
    // Tried once with no payload first, so that an unsuitable stub is
    // refused before the game is packed.
    BuildLauncherImage(stub, resources);
  } catch (const PeRewriteRefused& error) {
    throw CommandRefused(CommandFault::kInput,
                         "stub " + PathText(stubPath) + " cannot become a launcher: " + error.what());
  }

  const GameFolderScan scan = ScanGameFolder(command.pack.gameDir);
  // Packed into a scratch file beside the launcher first, as `build` packs:
  // packing's own memory (records held until their file is done, encoders)
  // is gone before the payload is read back, so the two are never held at
  // once.
  OutputFile payloadFile(fs::path(command.out) += ".payload");
  const PackedGame packed = PackScannedGame(
      scan, command.pack, [&payloadFile](std::span<const std::uint8_t> bytes) { payloadFile.Write(bytes); });
  OutputFile launcher(command.out);
  {
    // Let go once written, before the check reads the launcher back.
    const std::vector<std::uint8_t> payload = ReadFileBytes(payloadFile.Close());
    resources.payload = payload;
    resources.digest = packed.payload.digest;
    const ImagePieces image = BuildLauncherImagePieces(stub, resources);
    for (const std::span<const std::uint8_t> piece : image.Spans()) launcher.Write(piece);
    resources.payload = {};
  }
  launcher.Commit([&packed](const fs::path& written) { CheckWrittenOutput(written, packed.payload.checked); });

  nlohmann::json fields = PackingFields(command.pack.gameDir, packed);
  fields["out"] = PathText(command.out);
  fields["stub"] = PathText(stubPath);
  fields["fileVersion"] = FormatFileVersion(version);
  fields["iconImages"] = resources.icon.size();
  fields["payload"] = {{"size", packed.payload.size}, {"sha256", DigestHex(packed.payload.digest)}};
  return report.Succeed(fields, DescribePacking(packed) + "launcher: " + PathText(command.out) + " (from " +
                                    PathText(stubPath) + "), version " + FormatFileVersion(version) + ", " +
                                    std::to_string(resources.icon.size()) + " icon images\n");
}

}  // namespace

Subcommand AddLauncherCommand(CLI::App& app) {
  const auto options = std::make_shared<LauncherOptions>();
  LauncherOptions& launcher = *options;
  CLI::App* command =
      app.add_subcommand("launcher", "Pack a game folder into a launcher executable made from the stub");
  AddPathOption(*command, "--game-dir", launcher.pack.gameDir, "Folder holding Quorvane.exe and the game's files")
      ->required();
  AddPathOption(*command, "--out", launcher.out, "Launcher executable to write")->required();
  AddPathOption(*command, "--stub", launcher.stub,
                std::string("Launcher stub (default: ") + kLauncherStubName + " beside qvn_pack or in ../" +
                    kInstalledStubDir + ")");
  AddLevelOption(*command, launcher.pack.level);
  AddJobsOption(*command, launcher.pack.jobs);
  AddPathOption(*command, "--icon", launcher.icon, "Icon file (.ico); every image in it is kept");
  command->add_option("--version", launcher.version, "File and product version, A.B.C.D (default 1.0.0.0)");
  command->add_option("--product-name", launcher.productName, "ProductName (default \"Quorvane\")");
  command->add_option("--company", launcher.company, "CompanyName");
  command->add_option("--description", launcher.description, "FileDescription (default \"Quorvane portable\")");
  command->add_option("--copyright", launcher.copyright, "LegalCopyright");
  command->add_flag("--no-progress-window", launcher.noProgressWindow,
                    "Never show the small window that a slow unpacking otherwise shows (for a game with its own "
                    "splash at once)");
  command->add_flag("--crash-capture", launcher.crashCapture,
                    "Run the game in crash capture mode at every start, leaving data\\crash-last.dmp and "
                    "crash-last.txt when it crashes (QVN_CRASH_CAPTURE=1 does the same for one run of any launcher)");
  AddJsonFlag(*command, launcher.json);
  return {command, [options] {
            const VerbReport report("launcher", options->json);
            return RunRefusable(report, options->pack.gameDir, [&] { return WriteLauncher(*options, report); });
          }};
}

}  // namespace qvn::pack
