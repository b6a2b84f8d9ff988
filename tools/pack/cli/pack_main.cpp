// qvn_pack: packs a game folder into a launcher payload or a launcher
// executable, and lists, verifies or extracts payloads and launchers.

#include <CLI/CLI.hpp>

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>

#include "tools/pack/cli/exit_status.h"
#include "tools/pack/cli/pack_version.h"
#include "tools/pack/cli/subcommand.h"

#ifdef _WIN32
#include "tools/pack/cli/console_output.h"
#include "tools/pack/cli/utf8_arguments.h"
#endif

namespace {

int Run(int argc, char** argv) {
  CLI::App app{"Packs a game folder into a portable launcher payload, and lists or verifies payloads and launchers.",
               "qvn_pack"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("qvn_pack ") + qvn::pack::kPackerVersion);
  const qvn::pack::Subcommand subcommands[] = {
      qvn::pack::AddBuildCommand(app),    qvn::pack::AddListCommand(app),    qvn::pack::AddVerifyCommand(app),
      qvn::pack::AddLauncherCommand(app), qvn::pack::AddExtractCommand(app), qvn::pack::AddCrashCommand(app),
  };

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help arrives here too, as a success.
    return app.exit(error) == 0 ? qvn::pack::kExitSuccess : qvn::pack::kExitUsage;
  }
  for (const qvn::pack::Subcommand& subcommand : subcommands) {
    if (*subcommand.command) return subcommand.run();
  }
  return qvn::pack::kExitUsage;
}

// Each verb reports the failures it expects; anything else (memory running
// out, a fault of ours) still ends in a message and a status, not an abort.
int RunReportingFailures(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "qvn_pack: " << error.what() << "\n";
  } catch (...) {
    std::cerr << "qvn_pack: failed for an unknown reason\n";
  }
  return qvn::pack::kExitRefused;
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
  return RunReportingFailures(arguments->count(), arguments->values());
}
#else
int main(int argc, char** argv) { return RunReportingFailures(argc, argv); }
#endif
