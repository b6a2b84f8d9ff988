#include "tools/pack/image/icon_file.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "base/byte_order.h"
#include "base/little_endian_view.h"

namespace qvn::pack {
namespace {

constexpr std::uint16_t kIconType = 1;
constexpr std::uint32_t kHeaderSize = 6;
constexpr std::uint32_t kEntrySize = 16;

}  // namespace

std::vector<IconImage> ReadIconFile(std::span<const std::uint8_t> bytes) {
  constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
  if (bytes.size() >= sizeof kPngSignature &&
      std::equal(std::begin(kPngSignature), std::end(kPngSignature), bytes.begin())) {
    throw IconFileError(
        "a PNG picture, not an icon file (.ico), which Windows needs; make one from it, for example with icotool "
        "(Debian's icoutils): icotool -c -o game.ico game.png");
  }
  const LittleEndianView<IconFileError> file(bytes);
  if (file.U16(0, "icon header") != 0 || file.U16(2, "icon header") != kIconType) {
    throw IconFileError("not an icon file (.ico): its header is not an icon's");
  }
  const std::uint16_t count = file.U16(4, "icon header");
  if (count == 0) throw IconFileError("the icon file holds no images");
  std::vector<IconImage> images;
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::uint64_t entry = kHeaderSize + std::uint64_t{kEntrySize} * i;
    const std::span<const std::uint8_t> fields = file.Slice(entry, kEntrySize, "icon directory");
    const std::uint32_t size = file.U32(entry + 8, "icon directory");
    const std::uint32_t offset = file.U32(entry + 12, "icon directory");
    if (size == 0 || !file.Holds(offset, size)) {
      throw IconFileError("icon image " + std::to_string(i + 1) + " lies outside the file");
    }
    IconImage image{};
    std::copy(fields.begin(), fields.begin() + 12, image.entry.begin());
    image.bytes = bytes.subspan(offset, size);
    images.push_back(image);
  }
  return images;
}

std::vector<std::uint8_t> BuildGroupIcon(const std::vector<IconImage>& images, std::uint16_t firstId) {
  std::vector<std::uint8_t> group;
  AppendLittleEndian(group, 0, 2);
  AppendLittleEndian(group, kIconType, 2);
  AppendLittleEndian(group, static_cast<std::uint32_t>(images.size()), 2);
  for (std::size_t i = 0; i < images.size(); ++i) {
    group.insert(group.end(), images[i].entry.begin(), images[i].entry.end());
    AppendLittleEndian(group, static_cast<std::uint32_t>(firstId + i), 2);
  }
  return group;
}

}  // namespace qvn::pack
