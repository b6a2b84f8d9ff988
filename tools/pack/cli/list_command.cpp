#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <memory>

#include "base/utf8_path.h"
#include "payload/payload_manifest.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/cli/examined_file.h"
#include "tools/pack/cli/exit_status.h"
#include "tools/pack/cli/game_packing.h"
#include "tools/pack/cli/path_option.h"
#include "tools/pack/cli/subcommand.h"
#include "tools/pack/examine/payload_listing.h"
#include "tools/pack/examine/payload_source.h"
#include "tools/pack/image/launcher_details.h"

namespace qvn::pack {
namespace {

int List(const std::filesystem::path& file) {
  try {
    const std::vector<std::uint8_t> bytes = ReadExaminedFile(file);
    const PayloadSource source = LocatePayload(bytes);
    std::cout << FormatPayloadListing(ParsePayloadManifest(source.payload));
    if (source.fromExecutable) std::cout << DescribeLauncherDetails(bytes);
    return kExitSuccess;
  } catch (const std::exception& error) {
    return Fail(PathText(file) + ": " + error.what());
  }
}

}  // namespace

Subcommand AddListCommand(CLI::App& app) {
  const auto file = std::make_shared<std::filesystem::path>();
  CLI::App* command = app.add_subcommand("list", "List the entries of a payload or launcher executable");
  AddPathOption(*command, "FILE", *file, "Payload or launcher executable")->required();
  return {command, [file] { return List(*file); }};
}

}  // namespace qvn::pack
