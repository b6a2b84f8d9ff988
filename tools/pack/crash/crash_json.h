#pragma once

#include <nlohmann/json.hpp>

#include "tools/pack/crash/crash_analysis.h"

namespace qvn::pack {

// The analysis as the fields of `crash --json`, for support pipelines;
// docs/json.md describes them. Addresses and offsets are hexadecimal
// strings, since JSON numbers lose precision past 2^53.
nlohmann::json CrashJsonFields(const CrashAnalysis& analysis);

}  // namespace qvn::pack
