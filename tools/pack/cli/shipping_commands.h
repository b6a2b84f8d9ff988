#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "tools/pack/cli/pack_commands.h"

namespace CLI {
class App;
}

namespace qvn::pack {

// The name of the launcher stub, which lies beside qvn_pack in a build tree
// and in kInstalledStubDir of an installed prefix.
inline constexpr char kLauncherStubName[] = "qvn_portable_launcher_stub.exe";
inline constexpr char kInstalledStubDir[] = "share/quorvane-portable";

struct LauncherCommand {
  BuildCommand pack;  // the game folder and level; its outputs are not used
  std::filesystem::path out;
  std::optional<std::filesystem::path> stub;  // default: found from the packer's folder
  std::optional<std::filesystem::path> icon;
  std::string version = "1.0.0.0";
  std::string productName = "Quorvane";
  std::string company;
  std::string description = "Quorvane portable";
  std::string copyright;
};

struct ExtractCommand {
  std::filesystem::path file;
  std::filesystem::path out;
};

// Registers the `launcher` and `extract` subcommands, which fill `launcher`
// and `extract` when parsed.
CLI::App* AddLauncherCommand(CLI::App& app, LauncherCommand& launcher);
CLI::App* AddExtractCommand(CLI::App& app, ExtractCommand& extract);

// Each prints its result on standard output and its failures on standard
// error, writes nothing when it fails, and returns the exit status.
int RunLauncher(const LauncherCommand& command);
int RunExtract(const ExtractCommand& command);

// The folder that holds the running qvn_pack.
std::filesystem::path PackerDirectory();

}  // namespace qvn::pack
