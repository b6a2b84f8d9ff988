// qvn_pack: packs a game folder into a launcher payload or a launcher
// executable, and lists, verifies or extracts payloads and launchers.

#include <CLI/CLI.hpp>

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "tools/pack/cli/exit_status.h"
#include "tools/pack/cli/pack_version.h"
#include "tools/pack/cli/subcommand.h"
#include "tools/pack/cli/verb_report.h"

#ifdef _WIN32
#include "tools/pack/cli/console_output.h"
#include "tools/pack/cli/utf8_arguments.h"
#endif

namespace {

// The first argument CLI11 could not place that looks like an option, to
// name it rather than what it left unset.
std::optional<std::string> UnknownOption(const CLI::App& app) {
  for (const std::string& argument : app.remaining(true)) {
    if (argument.size() > 1 && argument[0] == '-') return argument;
  }
  return std::nullopt;
}

std::string ParseFailureMessage(const CLI::App*, const CLI::Error& error) {
  return std::string("qvn_pack: ") + error.what() + "\nRun with --help for more information.\n";
}

// Whether the command line asks for a --json report: then even a wrong
// command line is answered with one JSON document.
bool WantsJson(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--json") return true;
  }
  return false;
}

// The verb that was given, or "" before one is known.
std::string GivenVerb(const CLI::App& app) {
  for (const CLI::App* verb : app.get_subcommands({})) {
    if (verb->parsed()) return verb->get_name();
  }
  return "";
}

int UsageError(const CLI::App& app, bool json, const std::string& message) {
  if (json) {
    std::cout << qvn::pack::ErrorDocument(GivenVerb(app), "usage", message);
  } else {
    std::cerr << "qvn_pack: " << message << "\nRun with --help for more information.\n";
  }
  return qvn::pack::kExitUsage;
}

int Run(int argc, char** argv) {
  CLI::App app{"Packs a game folder into a portable launcher payload, and lists or verifies payloads and launchers.",
               "qvn_pack"};
  // Before the verbs are added, which take it over.
  app.failure_message(ParseFailureMessage);
  app.footer(qvn::pack::kExitStatusHelp);
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("qvn_pack ") + qvn::pack::kPackerVersion);
  const qvn::pack::Subcommand subcommands[] = {
      qvn::pack::AddBuildCommand(app),    qvn::pack::AddListCommand(app),    qvn::pack::AddVerifyCommand(app),
      qvn::pack::AddLauncherCommand(app), qvn::pack::AddExtractCommand(app), qvn::pack::AddCrashCommand(app),
      qvn::pack::AddHelpCommand(app),
  };

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help arrives here too, as a success.
    if (error.get_exit_code() == 0) return app.exit(error) == 0 ? qvn::pack::kExitSuccess : qvn::pack::kExitUsage;
    const std::optional<std::string> unknown = UnknownOption(app);
    return UsageError(app, WantsJson(argc, argv), unknown ? "unknown option " + *unknown : std::string(error.what()));
  }
  for (const qvn::pack::Subcommand& subcommand : subcommands) {
    if (*subcommand.command) return subcommand.run();
  }
  return qvn::pack::kExitUsage;
}

// Each verb reports the failures it expects; anything else (memory running
// out, a fault of ours) still ends in a message and a status, not an abort.
int RunReportingFailures(int argc, char** argv) {
  std::string message = "failed for an unknown reason";
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    message = error.what();
  } catch (...) {
  }
  if (WantsJson(argc, argv)) {
    std::cout << qvn::pack::ErrorDocument("", "failed", message);
  } else {
    std::cerr << "qvn_pack: " << message << "\n";
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
