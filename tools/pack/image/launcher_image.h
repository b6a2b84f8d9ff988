#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tools/pack/image/icon_file.h"
#include "tools/pack/image/image_pieces.h"

namespace qvn::pack {

// What a launcher carries besides the stub's own code and manifest.
struct LauncherResources {
  std::span<const std::uint8_t> payload;
  std::span<const std::uint8_t> digest;
  std::vector<IconImage> icon;  // no images: no icon
  std::span<const std::uint8_t> version;
  bool progressWindow = true;  // false: the launcher never shows its unpacking window
  bool crashCapture = false;   // true: every run captures a crash, without the environment variable
};

// The stub with the payload and its digest as RT_RCDATA 101 and 102, the
// icon's images as RT_ICON 1..n with RT_GROUP_ICON 1, RT_VERSION 1 and,
// without the progress window, its one-byte RT_RCDATA 103 and, with crash
// capture always on, its one-byte RT_RCDATA 104, all language neutral; the stub's other resources stay as they are.
// Raises PeRewriteRefused for a stub the resource writer refuses or one without an application manifest, which every
// launcher needs.
std::vector<std::uint8_t> BuildLauncherImage(std::span<const std::uint8_t> stub, const LauncherResources& resources);

// The same image in pieces that view the payload's bytes (and any large
// ones of the stub or the icon) instead of copying them: those must
// outlive the pieces.
ImagePieces BuildLauncherImagePieces(std::span<const std::uint8_t> stub, const LauncherResources& resources);

}  // namespace qvn::pack
