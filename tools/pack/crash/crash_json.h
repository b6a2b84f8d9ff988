#pragma once

#include <string>

#include "tools/pack/crash/crash_analysis.h"

namespace qvn::pack {

// The analysis as one JSON document for support pipelines; docs/json.md
// describes it. Its "format" field names the document's kind and version.
inline constexpr const char* kCrashJsonFormat = "qvn-crash/1";

std::string FormatCrashJson(const CrashAnalysis& analysis);

}  // namespace qvn::pack
