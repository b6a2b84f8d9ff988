#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qvn::pack {

// What the launcher's crash-last.txt says, as far as crash analysis uses
// it: the launcher's build, the exception, and where it happened.
struct CrashReportFile {
  std::string version;
  std::string main;
  std::optional<std::uint32_t> exceptionCode;
  std::optional<std::uint64_t> exceptionAddress;
  std::string faultModule;  // the module's full path; empty when unknown
  std::optional<std::uint64_t> moduleOffset;

  // The last part of faultModule.
  std::string FaultModuleName() const;
};

// Reads the report's key=value fields; a field it lacks stays empty. Never
// raises: a damaged report just says less.
CrashReportFile ParseCrashReport(std::string_view text);

}  // namespace qvn::pack
