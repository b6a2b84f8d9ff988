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

// The rules ValidatePayloadPath applies, one at a time, so that a tool can
// say which of them a name breaks: a byte a name may hold ('/' separates
// components), a component that is empty, "." or "..", or ends in '.', and
// a component that names a Windows device whatever its extension.
bool IsAdmittedNameByte(std::uint8_t byte);
bool IsUnsafePathComponent(std::string_view component);
bool IsReservedDeviceName(std::string_view component);

// A name's collision key: the bytes A-Z lowered, nothing else changed, as
// Windows compares ASCII names.
std::string FoldAsciiCase(std::string_view name);

// True when a collision key names the launcher's own portable state
// (portable.txt, or anything below data/ at the root).
bool IsReservedStatePath(std::string_view key);

}  // namespace qvn
