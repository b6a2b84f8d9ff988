#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <memory>

#include "base/utf8_path.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/cli/counted.h"
#include "tools/pack/cli/examined_file.h"
#include "tools/pack/cli/exit_status.h"
#include "tools/pack/cli/game_packing.h"
#include "tools/pack/cli/path_option.h"
#include "tools/pack/cli/subcommand.h"
#include "tools/pack/examine/payload_extraction.h"

namespace qvn::pack {
namespace {

struct ExtractOptions {
  std::filesystem::path file;
  std::filesystem::path out;
};

int Extract(const ExtractOptions& options) {
  try {
    const std::size_t count = ExtractPayloadFiles(ReadExaminedFile(options.file), options.out);
    std::cout << "extracted " << Counted(count, "file") << " from " << PathText(options.file) << " into " << PathText(options.out)
              << "\n";
    return kExitSuccess;
  } catch (const std::exception& error) {
    return Fail(PathText(options.file) + ": " + error.what());
  }
}

}  // namespace

Subcommand AddExtractCommand(CLI::App& app) {
  const auto options = std::make_shared<ExtractOptions>();
  CLI::App* command = app.add_subcommand(
      "extract", "Check a launcher or payload as verify does, then write its files into a new folder");
  AddPathOption(*command, "FILE", options->file, "Launcher executable or payload")->required();
  AddPathOption(*command, "--out", options->out, "Folder to create (it may exist if it is empty)")->required();
  return {command, [options] { return Extract(*options); }};
}

}  // namespace qvn::pack
