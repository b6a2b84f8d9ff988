#include <CLI/CLI.hpp>

#include <iostream>

#include "tools/pack/output/file_bytes.h"
#include "tools/pack/cli/path_option.h"
#include "tools/pack/inspect/payload_extraction.h"
#include "tools/pack/cli/shipping_commands.h"
#include "base/utf8_path.h"

namespace qvn::pack {

CLI::App* AddExtractCommand(CLI::App& app, ExtractCommand& extract) {
  CLI::App* command =
      app.add_subcommand("extract", "Check a launcher or payload as verify does, then write its files into a new folder");
  AddPathOption(*command, "FILE", extract.file, "Launcher executable or payload")->required();
  AddPathOption(*command, "--out", extract.out, "Folder to create (it may exist if it is empty)")->required();
  return command;
}

int RunExtract(const ExtractCommand& command) {
  try {
    const std::size_t count = ExtractPayloadFiles(ReadFileBytes(command.file), command.out);
    std::cout << "extracted " << count << " files from " << PathText(command.file) << " into " << PathText(command.out)
              << "\n";
    return kExitSuccess;
  } catch (const std::exception& error) {
    std::cerr << "qvn_pack: " << PathText(command.file) << ": " << error.what() << "\n";
    return kExitRefused;
  }
}

}  // namespace qvn::pack
