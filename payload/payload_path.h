#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qvn {

// Checks one stored file name against the rules that keep it a plain relative
// path below the runtime directory, using ASCII only and naming no device.
// Returns the name byte for byte; raises PayloadError at the first rule
// that fails.
std::string ValidatePayloadPath(std::span<const std::uint8_t> name);

// A name's collision key: the bytes A-Z lowered, nothing else changed, as
// Windows compares ASCII names.
std::string FoldAsciiCase(std::string_view name);

// True when a collision key names the launcher's own portable state
// (portable.txt, or anything below data/ at the root).
bool IsReservedStatePath(std::string_view key);

}  // namespace qvn
