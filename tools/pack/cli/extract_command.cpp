#include <CLI/CLI.hpp>

#include <exception>
#include <memory>

#include "base/utf8_path.h"
#include "tools/pack/cli/counted.h"
#include "tools/pack/cli/examined_file.h"
#include "tools/pack/cli/path_option.h"
#include "tools/pack/cli/report_fields.h"
#include "tools/pack/cli/subcommand.h"
#include "tools/pack/cli/verb_report.h"
#include "tools/pack/examine/payload_extraction.h"

namespace qvn::pack {
namespace {

struct ExtractOptions {
  std::filesystem::path file;
  std::filesystem::path out;
  bool json = false;
};

int Extract(const ExtractOptions& options) {
  const VerbReport report("extract", options.json);
  try {
    const std::size_t count = ExtractPayloadFiles(ReadExaminedFile(options.file), options.out);
    return report.Succeed({{"file", PathText(options.file)}, {"out", PathText(options.out)}, {"fileCount", count}},
                          "extracted " + Counted(count, "file") + " from " + PathText(options.file) + " into " +
                              PathText(options.out) + "\n");
  } catch (const std::exception&) {
    return report.Refuse(CurrentFault(PathText(options.file)));
  }
}

}  // namespace

Subcommand AddExtractCommand(CLI::App& app) {
  const auto options = std::make_shared<ExtractOptions>();
  CLI::App* command = app.add_subcommand(
      "extract", "Check a launcher or payload as verify does, then write its files into a new folder");
  AddPathOption(*command, "FILE", options->file, "Launcher executable or payload")->required();
  AddPathOption(*command, "--out", options->out, "Folder to create (it may exist if it is empty)")->required();
  AddJsonFlag(*command, options->json);
  return {command, [options] { return Extract(*options); }};
}

}  // namespace qvn::pack
