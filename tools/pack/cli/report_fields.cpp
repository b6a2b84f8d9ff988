#include "tools/pack/cli/report_fields.h"

#include <CLI/CLI.hpp>

#include "base/sha256.h"

namespace qvn::pack {

void AddJsonFlag(CLI::App& command, bool& json) {
  command.add_flag(
      "--json", json,
      "Print one JSON document on standard output (its shape: docs/json.md); progress and warnings stay on "
      "standard error");
}

nlohmann::json PayloadFields(std::span<const std::uint8_t> payload) {
  return {{"size", payload.size()}, {"sha256", DigestHex(HashSha256(payload))}};
}

nlohmann::json LauncherFields(const LauncherDetails& details) {
  nlohmann::json strings = nlohmann::json::object();
  for (const auto& [name, value] : details.versionStrings) strings[name] = value;
  nlohmann::json fields = {
      {"versionStrings", strings}, {"iconImages", details.iconImages}, {"signed", details.hasCertificate}};
  if (!details.unreadable.empty()) fields["unreadable"] = details.unreadable;
  return fields;
}

}  // namespace qvn::pack
