#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>

#include "tools/pack/cli/exit_status.h"
#include "tools/pack/cli/subcommand.h"

namespace qvn::pack {

Subcommand AddHelpCommand(CLI::App& app) {
  const auto verb = std::make_shared<std::string>();
  CLI::App* command = app.add_subcommand("help", "Show this help, or a command's: qvn_pack help COMMAND");
  command->add_option("COMMAND", *verb, "The command to explain");
  return {command, [&app, verb] {
            // Asked of the application, help() would show the verb that
            // was given, this one.
            if (verb->empty()) {
              std::cout << app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
              return kExitSuccess;
            }
            for (const CLI::App* sub : app.get_subcommands({})) {
              if (sub->get_name() == *verb) {
                std::cout << sub->help(app.get_name());
                return kExitSuccess;
              }
            }
            std::cerr << "qvn_pack: no command " << *verb << "; qvn_pack help lists them\n";
            return kExitUsage;
          }};
}

}  // namespace qvn::pack
