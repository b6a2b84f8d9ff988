// qvn_pack: packs a game folder into a launcher payload or a launcher
// executable, and lists, verifies or extracts payloads and launchers.

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>

#include "tools/pack/cli/jobs_option.h"
#include "tools/pack/cli/pack_commands.h"
#include "tools/pack/cli/path_option.h"
#include "tools/pack/cli/shipping_commands.h"
#include "tools/pack/cli/pack_version.h"

#ifdef _WIN32
#include "tools/pack/cli/console_output.h"
#include "tools/pack/cli/utf8_arguments.h"
#endif

namespace {

using qvn::pack::AddPathOption;
using qvn::pack::BuildCommand;

int Run(int argc, char** argv) {
  CLI::App app{"Packs a game folder into a portable launcher payload, and lists or verifies payloads and launchers.",
               "qvn_pack"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("qvn_pack ") + qvn::pack::kPackerVersion);

  BuildCommand build;
  int level = static_cast<int>(build.level);
  CLI::App* buildCommand = app.add_subcommand("build", "Pack a game folder into a payload and its SHA-256 digest");
  AddPathOption(*buildCommand, "--game-dir", build.gameDir, "Folder holding Quorvane.exe and the game's files")->required();
  AddPathOption(*buildCommand, "--out", build.out, "Payload file to write")->required();
  AddPathOption(*buildCommand, "--digest-out", build.digestOut,
                "Where to write the payload's 32-byte SHA-256 (default: <out>.digest)");
  buildCommand->add_option("--level", level, "1: fast (default), 2: strong")->check(CLI::Range(1, 2));
  qvn::pack::AddJobsOption(*buildCommand, build.jobs);

  std::filesystem::path file;
  CLI::App* listCommand = app.add_subcommand("list", "List the entries of a payload or launcher executable");
  AddPathOption(*listCommand, "FILE", file, "Payload or launcher executable")->required();
  CLI::App* verifyCommand =
      app.add_subcommand("verify", "Check a payload or launcher executable as the launcher would, and decode it all");
  AddPathOption(*verifyCommand, "FILE", file, "Payload or launcher executable")->required();

  qvn::pack::LauncherCommand launcher;
  CLI::App* launcherCommand = qvn::pack::AddLauncherCommand(app, launcher);
  qvn::pack::ExtractCommand extract;
  CLI::App* extractCommand = qvn::pack::AddExtractCommand(app, extract);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help arrives here too, as a success.
    return app.exit(error) == 0 ? qvn::pack::kExitSuccess : qvn::pack::kExitUsage;
  }

  if (*buildCommand) {
    build.level = static_cast<qvn::compression::Level>(level);
    return qvn::pack::RunBuild(build);
  }
  if (*launcherCommand) return qvn::pack::RunLauncher(launcher);
  if (*extractCommand) return qvn::pack::RunExtract(extract);
  if (*listCommand) return qvn::pack::RunList(file);
  return qvn::pack::RunVerify(file);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  const qvn::pack::ConsoleOutput console;
  std::optional<qvn::pack::Utf8Arguments> arguments;
  try {
    arguments.emplace(argc, argv);
  } catch (const std::system_error& error) {
    std::cerr << "qvn_pack: the command line is not valid UTF-16: " << error.what() << "\n";
    return qvn::pack::kExitUsage;
  }
  return Run(arguments->count(), arguments->values());
}
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
