#include "tools/pack/crash/llvm_symbolizer.h"

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "base/utf8_path.h"
#include "tools/pack/crash/program_output.h"

namespace qvn::pack {
namespace {

// Debian installs the current LLVM's tools under plain names through its
// `llvm` package, and each version's under versioned ones.
const std::vector<std::string> kProgramNames = {"llvm-symbolizer",    "llvm-symbolizer-19", "llvm-symbolizer-18",
                                                "llvm-symbolizer-17", "llvm-symbolizer-16", "llvm-symbolizer-15",
                                                "llvm-symbolizer-14"};

std::optional<SourceLocation> FromJson(const nlohmann::json& entry) {
  const auto symbols = entry.find("Symbol");
  if (symbols == entry.end() || !symbols->is_array() || symbols->empty()) return std::nullopt;
  // The first entry is the innermost, an inlined function's where there is one.
  const nlohmann::json& symbol = symbols->front();
  SourceLocation location;
  location.function = symbol.value("FunctionName", "");
  location.file = symbol.value("FileName", "");
  location.line = symbol.value("Line", 0u);
  if (location.function.empty() || location.function == "??") return std::nullopt;
  if (location.line == 0) location.file.clear();
  const std::string start = symbol.value("StartAddress", "");
  if (!start.empty()) location.functionStart = std::strtoull(start.c_str(), nullptr, 16);
  return location;
}

}  // namespace

std::optional<LlvmSymbolizer> LlvmSymbolizer::Find() {
  if (std::optional<std::string> program = FindProgramOnPath(kProgramNames)) return LlvmSymbolizer(*program);
  return std::nullopt;
}

std::vector<std::optional<SourceLocation>> LlvmSymbolizer::Locate(const std::filesystem::path& object,
                                                                  const std::vector<std::uint32_t>& rvas) const {
  std::vector<std::optional<SourceLocation>> locations(rvas.size());
  std::vector<std::string> command = {program_, "--output-style=JSON", "--relative-address",
                                      "--obj=" + PathText(object)};
  for (const std::uint32_t rva : rvas) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", rva);
    command.emplace_back(text);
  }
  const std::optional<std::string> output = RunProgramForOutput(command);
  if (!output) return locations;
  const nlohmann::json document = nlohmann::json::parse(*output, nullptr, false);
  if (!document.is_array()) return locations;
  for (std::size_t i = 0; i < rvas.size() && i < document.size(); ++i) {
    try {
      if (document[i].is_object()) locations[i] = FromJson(document[i]);
    } catch (const nlohmann::json::exception&) {
      // A field of another type than this version of the tool writes: that
      // address stays unnamed.
    }
  }
  return locations;
}

}  // namespace qvn::pack
