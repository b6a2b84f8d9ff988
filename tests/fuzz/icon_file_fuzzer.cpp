// The .ico reader on any bytes, as `launcher --icon` reads a studio's icon.
// Every image it returns must lie inside the file with the directory entry
// it came from; the group resource built from them has one entry per image,
// each naming its image's resource id.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "tools/pack/image/icon_file.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

std::uint32_t Field(std::span<const std::uint8_t> bytes, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes[at + i];
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qvn::pack;
  const std::span<const std::uint8_t> file(data, size);
  std::vector<IconImage> images;
  try {
    images = ReadIconFile(file);
  } catch (const IconFileError&) {
    return 0;
  }
  Require(!images.empty() && images.size() == Field(file, 4, 2));
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::span<const std::uint8_t> bytes = images[i].bytes;
    const std::size_t entry = 6 + 16 * i;
    Require(!bytes.empty() && bytes.data() >= data && bytes.data() + bytes.size() <= data + size);
    Require(static_cast<std::size_t>(bytes.data() - data) == Field(file, entry + 12, 4));
    Require(bytes.size() == Field(file, entry + 8, 4));
    Require(std::equal(images[i].entry.begin(), images[i].entry.end(), file.begin() + entry));
  }

  constexpr std::uint16_t kFirstId = 1;
  const std::vector<std::uint8_t> group = BuildGroupIcon(images, kFirstId);
  Require(group.size() == 6 + 14 * images.size());
  Require(std::equal(group.begin(), group.begin() + 6, file.begin()));
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::size_t entry = 6 + 14 * i;
    Require(std::equal(images[i].entry.begin(), images[i].entry.end(), group.begin() + entry));
    Require(Field(group, entry + 12, 2) == kFirstId + i);
  }
  return 0;
}
