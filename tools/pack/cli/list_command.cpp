#include <CLI/CLI.hpp>

#include <memory>

#include "base/sha256.h"
#include "base/utf8_path.h"
#include "payload/payload_manifest.h"
#include "tools/pack/cli/examined_file.h"
#include "tools/pack/cli/path_option.h"
#include "tools/pack/cli/report_fields.h"
#include "tools/pack/cli/subcommand.h"
#include "tools/pack/cli/verb_report.h"
#include "tools/pack/examine/payload_listing.h"
#include "tools/pack/examine/payload_source.h"
#include "tools/pack/examine/stored_name.h"
#include "tools/pack/image/launcher_details.h"

namespace qvn::pack {
namespace {

struct ListOptions {
  std::filesystem::path file;
  bool json = false;
};

nlohmann::json ListingFields(const std::filesystem::path& file, const PayloadSource& source,
                             const PayloadManifest& manifest) {
  nlohmann::json entries = nlohmann::json::array();
  std::uint64_t expanded = 0;
  std::uint64_t stored = 0;
  for (const PayloadEntry& entry : manifest) {
    entries.push_back({{"name", StoredName(entry)},
                       {"expandedSize", entry.expandedSize},
                       {"storedSize", entry.storedData.size()},
                       {"sha256", DigestHex(entry.digest)}});
    expanded += entry.expandedSize;
    stored += entry.storedData.size();
  }
  return {{"file", PathText(file)},
          {"type", source.fromExecutable ? "launcher" : "payload"},
          {"payload", PayloadFields(source.payload)},
          {"entries", entries},
          {"fileCount", manifest.size()},
          {"expandedSize", expanded},
          {"storedSize", stored}};
}

int List(const ListOptions& options) {
  const VerbReport report("list", options.json);
  try {
    const std::vector<std::uint8_t> bytes = ReadExaminedFile(options.file);
    const PayloadSource source = LocatePayload(bytes);
    const PayloadManifest manifest = ParsePayloadManifest(source.payload);
    std::string human = FormatPayloadListing(manifest);
    nlohmann::json fields = ListingFields(options.file, source, manifest);
    if (source.fromExecutable) {
      const LauncherDetails details = ReadLauncherDetails(bytes);
      human += DescribeLauncherDetails(details);
      fields["launcher"] = LauncherFields(details);
    }
    return report.Succeed(fields, human);
  } catch (const std::exception&) {
    return report.Refuse(CurrentFault(PathText(options.file)));
  }
}

}  // namespace

Subcommand AddListCommand(CLI::App& app) {
  const auto options = std::make_shared<ListOptions>();
  CLI::App* command = app.add_subcommand("list", "List the entries of a payload or launcher executable");
  AddPathOption(*command, "FILE", options->file, "Payload or launcher executable")->required();
  AddJsonFlag(*command, options->json);
  return {command, [options] { return List(*options); }};
}

}  // namespace qvn::pack
