#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace qvn::pack {

// An option (or, for a name without dashes, a positional argument) whose
// value is a path, taken as UTF-8 (see Utf8Path) on every host.
CLI::Option* AddPathOption(CLI::App& command, const std::string& name, std::filesystem::path& path,
                           const std::string& description);
CLI::Option* AddPathOption(CLI::App& command, const std::string& name, std::optional<std::filesystem::path>& path,
                           const std::string& description);

}  // namespace qvn::pack
