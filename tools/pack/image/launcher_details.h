#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qvn::pack {

// What Explorer would show of a launcher executable, for `list` and
// `verify`: one line per version string, the number of icon images, and
// whether it has a certificate table ("signed" or "unsigned"; the
// signature itself is for signing tools to check). Empty for a file that
// is not a well-formed PE image.
std::string DescribeLauncherDetails(std::span<const std::uint8_t> file);

}  // namespace qvn::pack
