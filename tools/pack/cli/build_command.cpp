#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <optional>

#include "base/sha256.h"
#include "base/utf8_path.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/atomic_write/output_file.h"
#include "tools/pack/cli/exit_status.h"
#include "tools/pack/cli/game_packing.h"
#include "tools/pack/cli/output_placement.h"
#include "tools/pack/cli/path_option.h"
#include "tools/pack/cli/report_fields.h"
#include "tools/pack/cli/subcommand.h"
#include "tools/pack/cli/verb_report.h"
#include "tools/pack/examine/packed_output_check.h"

namespace qvn::pack {
namespace {

struct BuildOptions {
  PackOptions pack;
  bool json = false;
  std::filesystem::path out;
  std::optional<std::filesystem::path> digestOut;  // default: "<out>.digest"
};

int Build(const BuildOptions& options, const VerbReport& report) {
  std::filesystem::path digestOut = options.out;
  digestOut += ".digest";
  if (options.digestOut) digestOut = *options.digestOut;
  RefuseOutputInsideGame(options.pack.gameDir, options.out, "--out");
  RefuseOutputInsideGame(options.pack.gameDir, digestOut, "--digest-out");
  RefuseUnwritableOutput(options.out, "--out");
  RefuseUnwritableOutput(digestOut, "--digest-out");
  // Written as it is made; only a finished payload takes the name.
  OutputFile payloadFile(options.out);
  const PackedGame packed =
      PackScannedGame(ScanGameFolder(options.pack.gameDir), options.pack,
                      [&payloadFile](std::span<const std::uint8_t> bytes) { payloadFile.Write(bytes); });
  const Sha256& digest = packed.payload.digest;
  payloadFile.Commit([&packed, &digest](const std::filesystem::path& written) {
    CheckWrittenOutput(written, packed.payload.checked, digest);
  });
  WriteFileBytes(digestOut, digest);

  nlohmann::json fields = PackingFields(options.pack.gameDir, packed);
  fields["out"] = PathText(options.out);
  fields["digestOut"] = PathText(digestOut);
  fields["payload"] = {{"size", packed.payload.size}, {"sha256", DigestHex(digest)}};
  return report.Succeed(fields, DescribePacking(packed) + "payload: " + PathText(options.out) + "\n" +
                                    "sha256:  " + DigestHex(digest) + " (32 bytes in " + PathText(digestOut) + ")\n");
}

}  // namespace

Subcommand AddBuildCommand(CLI::App& app) {
  const auto options = std::make_shared<BuildOptions>();
  CLI::App* command = app.add_subcommand("build", "Pack a game folder into a payload and its SHA-256 digest");
  AddPathOption(*command, "--game-dir", options->pack.gameDir, "Folder holding Quorvane.exe and the game's files")
      ->required();
  AddPathOption(*command, "--out", options->out, "Payload file to write")->required();
  AddPathOption(*command, "--digest-out", options->digestOut,
                "Where to write the payload's 32-byte SHA-256 (default: <out>.digest)");
  AddLevelOption(*command, options->pack.level);
  AddJobsOption(*command, options->pack.jobs);
  AddJsonFlag(*command, options->json);
  return {command, [options] {
            const VerbReport report("build", options->json);
            return RunRefusable(report, options->pack.gameDir, [&] { return Build(*options, report); });
          }};
}

}  // namespace qvn::pack
