#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qvn {

// Checks one stored file name against the rules that keep it a plain relative
// path below the runtime directory, using ASCII only and naming no device.
// Returns the name byte for byte; raises Error at the first rule that
// fails.
std::string ValidatePayloadPath(std::span<const std::uint8_t> name);

}  // namespace qvn
