#include "tools/pack/crash/crash_report_file.h"

#include <cstdlib>

namespace qvn::pack {
namespace {

// The value after " key=" (or "key=" at a line's start), up to the next
// blank or line end; fault_module, whose path may hold blanks, runs up to
// " module_base=".
std::optional<std::string> Field(std::string_view text, std::string_view key, std::string_view until = " ") {
  std::size_t at = 0;
  while ((at = text.find(key, at)) != std::string_view::npos) {
    const bool starts = at == 0 || text[at - 1] == ' ' || text[at - 1] == '\n';
    if (starts && text.substr(at + key.size()).starts_with("=")) break;
    at += key.size();
  }
  if (at == std::string_view::npos) return std::nullopt;
  const std::size_t start = at + key.size() + 1;
  std::size_t end = text.find(until, start);
  end = std::min(end, text.find_first_of("\r\n", start));
  return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::optional<std::uint64_t> Number(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::nullopt;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text->c_str(), &end, 16);
  if (end == nullptr || *end != '\0') return std::nullopt;
  return value;
}

}  // namespace

std::string CrashReportFile::FaultModuleName() const {
  const std::size_t slash = faultModule.find_last_of("\\/");
  return slash == std::string::npos ? faultModule : faultModule.substr(slash + 1);
}

CrashReportFile ParseCrashReport(std::string_view text) {
  CrashReportFile report;
  report.version = Field(text, "version").value_or("");
  report.main = Field(text, "main").value_or("");
  if (const std::optional<std::uint64_t> code = Number(Field(text, "exception_code"))) {
    report.exceptionCode = static_cast<std::uint32_t>(*code);
  }
  report.exceptionAddress = Number(Field(text, "exception_address"));
  report.faultModule = Field(text, "fault_module", " module_base=").value_or("");
  report.moduleOffset = Number(Field(text, "module_offset"));
  return report;
}

}  // namespace qvn::pack
