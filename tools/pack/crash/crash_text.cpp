#include "tools/pack/crash/crash_text.h"

#include <cstdio>

namespace qvn::pack {
namespace {

std::string LauncherBuild(const CrashReportFile& report) {
  return "version=" + (report.version.empty() ? std::string("?") : report.version) +
         " main=" + (report.main.empty() ? std::string("?") : report.main);
}

}  // namespace

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

const char* TrustName(FrameTrust trust) {
  switch (trust) {
    case FrameTrust::kContext:
      return "context";
    case FrameTrust::kUnwind:
      return "unwind";
    case FrameTrust::kScan:
      return "scan";
  }
  return "";
}

std::string FrameLocation(const NamedFrame& frame) {
  if (frame.module.empty()) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(frame.rva));
    return text;
  }
  if (!frame.function.empty() && frame.offset) return frame.module + "!" + frame.function + "+" + Hex(*frame.offset);
  if (!frame.function.empty())
    return frame.module + "!" + frame.function + " (" + frame.module + "+" + Hex(frame.rva) + ")";
  return frame.module + "+" + Hex(frame.rva);
}

std::string VersionText(const FourPartVersion& version) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) + "." +
         std::to_string(version[3]);
}

std::string FormatCrashText(const CrashAnalysis& analysis) {
  std::string text;
  text += "exception: " + (analysis.exceptionText.empty() ? std::string("none recorded") : analysis.exceptionText);
  if (analysis.exception) text += " at " + Hex(analysis.exception->address);
  text += "\n";
  text += "game: Quorvane.exe " +
          (analysis.gameVersion ? "file version " + VersionText(*analysis.gameVersion) : std::string("(no version)")) +
          "\n";
  if (analysis.report) text += "launcher: " + LauncherBuild(*analysis.report) + " (crash-last.txt)\n";
  for (const ModuleSummary& module : analysis.modules) {
    if (module.match == ImageMatch::kWrongBuild) text += "refused: " + module.note + "; its frames stay unnamed\n";
  }
  for (const std::string& note : analysis.notes) text += "note: " + note + "\n";
  if (analysis.threadId) text += "crashing thread " + std::to_string(*analysis.threadId) + ":\n";
  for (std::size_t i = 0; i < analysis.frames.size(); ++i) {
    const NamedFrame& frame = analysis.frames[i];
    std::string line = "  #" + std::to_string(i) + (i < 10 ? "  " : " ") + FrameLocation(frame);
    if (!frame.file.empty()) line += " (" + frame.file + ":" + std::to_string(frame.line) + ")";
    text += line + "  [" + TrustName(frame.frame.trust) + "]\n";
  }
  if (!analysis.frames.empty()) {
    std::size_t unwound = 0;
    std::size_t scanned = 0;
    for (const NamedFrame& frame : analysis.frames) {
      unwound += frame.frame.trust == FrameTrust::kUnwind;
      scanned += frame.frame.trust == FrameTrust::kScan;
    }
    text += std::to_string(analysis.frames.size()) + " frames: 1 from the context, " + std::to_string(unwound) +
            " by unwind information, " + std::to_string(scanned) + " by stack scan; stopped: " + analysis.stopReason +
            "\n";
  }
  return text;
}

}  // namespace qvn::pack
