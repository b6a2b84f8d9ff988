#pragma once

#include <functional>

namespace CLI {
class App;
}

namespace qvn::pack {

// A verb of qvn_pack, registered on the application: its options fill state
// that `run` owns. `run` prints the result on standard output and warnings
// and failures on standard error, writes nothing when it fails, and returns
// the exit status.
struct Subcommand {
  CLI::App* command = nullptr;
  std::function<int()> run;
};

Subcommand AddBuildCommand(CLI::App& app);
Subcommand AddLauncherCommand(CLI::App& app);
Subcommand AddListCommand(CLI::App& app);
Subcommand AddVerifyCommand(CLI::App& app);
Subcommand AddExtractCommand(CLI::App& app);
Subcommand AddCrashCommand(CLI::App& app);
// `help [COMMAND]`: the same text as --help, for those who type it as a word.
Subcommand AddHelpCommand(CLI::App& app);

}  // namespace qvn::pack
