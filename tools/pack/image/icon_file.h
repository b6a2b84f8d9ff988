#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "base/error.h"

namespace qvn::pack {

// Raised when a file is not an icon file (.ico) that can be used.
class IconFileError : public Error {
 public:
  using Error::Error;
};

// One image of an icon file: the first 12 bytes of its directory entry
// (size, colours, planes, bit count, byte count) and a view of its bytes.
struct IconImage {
  std::array<std::uint8_t, 12> entry;
  std::span<const std::uint8_t> bytes;
};

// The images of an icon file, in its directory's order. Raises
// IconFileError when the header is not an icon's, there are no images, or
// an image's bytes lie outside the file.
std::vector<IconImage> ReadIconFile(std::span<const std::uint8_t> file);

// The RT_GROUP_ICON resource for these images when image i is stored as
// RT_ICON firstId + i: the icon header and each entry with its 4-byte file
// offset replaced by the 2-byte resource id.
std::vector<std::uint8_t> BuildGroupIcon(const std::vector<IconImage>& images, std::uint16_t firstId);

}  // namespace qvn::pack
