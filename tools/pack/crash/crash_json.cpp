#include "tools/pack/crash/crash_json.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "tools/pack/crash/crash_text.h"

namespace qvn::pack {
namespace {

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

const char* MatchName(ImageMatch match) {
  switch (match) {
    case ImageMatch::kMatched:
      return "matched";
    case ImageMatch::kWrongBuild:
      return "wrong-build";
    case ImageMatch::kNoImage:
      return "no-image";
  }
  return "";
}

}  // namespace

std::string FormatCrashJson(const CrashAnalysis& analysis) {
  nlohmann::ordered_json document;
  document["format"] = kCrashJsonFormat;
  if (analysis.exception) {
    nlohmann::ordered_json parameters = nlohmann::ordered_json::array();
    for (const std::uint64_t parameter : analysis.exception->parameters) parameters.push_back(Hex(parameter));
    document["exception"] = {{"code", Hex(analysis.exception->code)},
                             {"description", analysis.exceptionText},
                             {"address", Hex(analysis.exception->address)},
                             {"parameters", parameters}};
  } else if (!analysis.exceptionText.empty()) {
    document["exception"] = {{"description", analysis.exceptionText}};
  }
  document["thread"] = analysis.threadId ? nlohmann::ordered_json(*analysis.threadId) : nullptr;
  document["gameVersion"] = analysis.gameVersion ? nlohmann::ordered_json(VersionText(*analysis.gameVersion)) : nullptr;
  if (analysis.report) {
    document["launcher"] = {{"version", analysis.report->version}, {"main", analysis.report->main}};
  }
  nlohmann::ordered_json modules = nlohmann::ordered_json::array();
  for (const ModuleSummary& module : analysis.modules) {
    nlohmann::ordered_json entry = {{"name", module.name}, {"match", MatchName(module.match)}};
    if (module.fileVersion) entry["fileVersion"] = VersionText(*module.fileVersion);
    if (!module.note.empty()) entry["note"] = module.note;
    modules.push_back(entry);
  }
  document["modules"] = modules;
  nlohmann::ordered_json frames = nlohmann::ordered_json::array();
  for (const NamedFrame& frame : analysis.frames) {
    nlohmann::ordered_json entry = {{"module", frame.module.empty() ? nullptr : nlohmann::ordered_json(frame.module)},
                                    {"rva", Hex(frame.rva)}};
    if (!frame.function.empty()) entry["function"] = frame.function;
    if (frame.offset) entry["offset"] = Hex(*frame.offset);
    if (!frame.file.empty()) {
      entry["file"] = frame.file;
      entry["line"] = frame.line;
    }
    entry["foundBy"] = TrustName(frame.frame.trust);
    frames.push_back(entry);
  }
  document["frames"] = frames;
  document["stopReason"] = analysis.stopReason;
  document["notes"] = analysis.notes;
  return document.dump(2) + "\n";
}

}  // namespace qvn::pack
