#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>

#include "tools/pack/image/launcher_details.h"

namespace CLI {
class App;
}

namespace qvn::pack {

// Adds --json to a verb: one JSON document on standard output (docs/json.md).
void AddJsonFlag(CLI::App& command, bool& json);

// The fields of --json documents that several verbs share (docs/json.md).
// {"size", "sha256"} of a payload's bytes.
nlohmann::json PayloadFields(std::span<const std::uint8_t> payload);
// {"versionStrings": {name: value}, "iconImages", "signed"} of a launcher,
// with "unreadable" when its resources could not be read.
nlohmann::json LauncherFields(const LauncherDetails& details);

}  // namespace qvn::pack
