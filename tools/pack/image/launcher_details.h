#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/pack/image/version_resource.h"

namespace qvn::pack {

// What Explorer would show of a launcher executable, for `list` and
// `verify`: its version strings, the number of icon images, and whether it
// has a certificate table ("signed"; the signature itself is for signing
// tools to check). `unreadable` says why the resources could not be read,
// and is empty when they could.
struct LauncherDetails {
  std::vector<VersionString> versionStrings;
  std::size_t iconImages = 0;
  bool hasCertificate = false;
  std::string unreadable;
};

LauncherDetails ReadLauncherDetails(std::span<const std::uint8_t> file);

// One line per version string, then "icon images: N" and "certificate
// table: signed" or "unsigned".
std::string DescribeLauncherDetails(const LauncherDetails& details);

}  // namespace qvn::pack
