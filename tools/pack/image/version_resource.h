#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/error.h"

namespace qvn::pack {

// Raised for a version number or version text that cannot be used.
class VersionResourceError : public Error {
 public:
  using Error::Error;
};

using FileVersion = std::array<std::uint16_t, 4>;

// One to four dot-separated decimal parts, each at most 65535; missing
// parts are 0 ("1.2" is 1.2.0.0).
FileVersion ParseFileVersion(std::string_view text);

// "A.B.C.D".
std::string FormatFileVersion(const FileVersion& version);

// Name and UTF-8 value of one entry of a StringFileInfo table.
using VersionString = std::pair<std::string, std::string>;

// An RT_VERSION resource: VS_VERSIONINFO with VS_FIXEDFILEINFO (file and
// product version both `version`, an application for Windows NT), a
// StringFileInfo with the one table "040904B0" holding `strings` in the
// order given, and VarFileInfo's Translation 0x0409 0x04B0. Every block is
// 32-bit aligned.
std::vector<std::uint8_t> BuildVersionResource(const FileVersion& version, const std::vector<VersionString>& strings);

// The strings of every StringFileInfo table of an RT_VERSION resource, in
// stored order. Raises VersionResourceError when the blocks do not hold
// together.
std::vector<VersionString> ReadVersionStrings(std::span<const std::uint8_t> resource);

}  // namespace qvn::pack
