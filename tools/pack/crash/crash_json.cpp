#include "tools/pack/crash/crash_json.h"

#include "tools/pack/crash/crash_text.h"

namespace qvn::pack {
namespace {

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

nlohmann::json CrashJsonFields(const CrashAnalysis& analysis) {
  nlohmann::json fields;
  if (analysis.exception) {
    nlohmann::json parameters = nlohmann::json::array();
    for (const std::uint64_t parameter : analysis.exception->parameters) parameters.push_back(Hex(parameter));
    fields["exception"] = {{"code", Hex(analysis.exception->code)},
                           {"description", analysis.exceptionText},
                           {"address", Hex(analysis.exception->address)},
                           {"parameters", parameters}};
  } else if (!analysis.exceptionText.empty()) {
    fields["exception"] = {{"description", analysis.exceptionText}};
  }
  fields["thread"] = analysis.threadId ? nlohmann::json(*analysis.threadId) : nullptr;
  fields["gameVersion"] = analysis.gameVersion ? nlohmann::json(VersionText(*analysis.gameVersion)) : nullptr;
  if (analysis.report) {
    fields["launcher"] = {{"version", analysis.report->version}, {"main", analysis.report->main}};
  }
  nlohmann::json modules = nlohmann::json::array();
  for (const ModuleSummary& module : analysis.modules) {
    nlohmann::json entry = {{"name", module.name}, {"match", MatchName(module.match)}};
    if (module.fileVersion) entry["fileVersion"] = VersionText(*module.fileVersion);
    if (!module.note.empty()) entry["note"] = module.note;
    modules.push_back(entry);
  }
  fields["modules"] = modules;
  nlohmann::json frames = nlohmann::json::array();
  for (const NamedFrame& frame : analysis.frames) {
    nlohmann::json entry = {{"module", frame.module.empty() ? nullptr : nlohmann::json(frame.module)},
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
  fields["frames"] = frames;
  fields["stopReason"] = analysis.stopReason;
  fields["notes"] = analysis.notes;
  return fields;
}

}  // namespace qvn::pack
