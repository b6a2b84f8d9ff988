#include "tools/pack/cli/path_option.h"

#include <CLI/CLI.hpp>

#include "base/utf8_path.h"

namespace qvn::pack {
namespace {

template <typename PathTarget>
CLI::Option* AddUtf8PathOption(CLI::App& command, const std::string& name, PathTarget& path,
                               const std::string& description) {
  return command
      .add_option_function<std::string>(
          name, [&path](const std::string& text) { path = Utf8Path(text); }, description)
      ->type_name("PATH");
}

}  // namespace

CLI::Option* AddPathOption(CLI::App& command, const std::string& name, std::filesystem::path& path,
                           const std::string& description) {
  return AddUtf8PathOption(command, name, path, description);
}

CLI::Option* AddPathOption(CLI::App& command, const std::string& name, std::optional<std::filesystem::path>& path,
                           const std::string& description) {
  return AddUtf8PathOption(command, name, path, description);
}

}  // namespace qvn::pack
