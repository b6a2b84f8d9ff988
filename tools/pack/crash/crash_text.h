#pragma once

#include <cstdint>
#include <string>

#include "tools/pack/crash/crash_analysis.h"

namespace qvn::pack {

// "0x1A2B": addresses, offsets and codes as both outputs print them.
std::string Hex(std::uint64_t value);

// "found by" in words: context, unwind or scan.
const char* TrustName(FrameTrust trust);

// "module!function+0xoffset", "module+0xRVA", or the bare address.
std::string FrameLocation(const NamedFrame& frame);

// "1.4.2.0".
std::string VersionText(const FourPartVersion& version);

// The analysis as a studio reads it: the exception, which build crashed,
// the modules that could not be matched, then one line per frame.
std::string FormatCrashText(const CrashAnalysis& analysis);

}  // namespace qvn::pack
