// The .ico reader on any bytes, as `launcher --icon` reads a studio's icon.
// Every image it returns must lie inside the file with the directory entry
// it came from; the group resource built from them has one entry per image,
// each naming its image's resource id.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/byte_order.h"
#include "tests/fuzz/fuzz_require.h"
#include "tools/pack/image/icon_file.h"

using qvn::LoadLe16;
using qvn::LoadLe32;
using qvn::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qvn::pack;
  const std::span<const std::uint8_t> file(data, size);
  std::vector<IconImage> images;
  try {
    images = ReadIconFile(file);
  } catch (const IconFileError&) {
    return 0;
  }
  Require(!images.empty() && images.size() == LoadLe16(file.data() + 4));
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::span<const std::uint8_t> bytes = images[i].bytes;
    const std::size_t entry = 6 + 16 * i;
    Require(!bytes.empty() && bytes.data() >= data && bytes.data() + bytes.size() <= data + size);
    Require(static_cast<std::size_t>(bytes.data() - data) == LoadLe32(file.data() + entry + 12));
    Require(bytes.size() == LoadLe32(file.data() + entry + 8));
    Require(
        std::equal(images[i].entry.begin(), images[i].entry.end(), file.begin() + static_cast<std::ptrdiff_t>(entry)));
  }

  constexpr std::uint16_t kFirstId = 1;
  const std::vector<std::uint8_t> group = BuildGroupIcon(images, kFirstId);
  Require(group.size() == 6 + 14 * images.size());
  Require(std::equal(group.begin(), group.begin() + 6, file.begin()));
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::size_t entry = 6 + 14 * i;
    Require(
        std::equal(images[i].entry.begin(), images[i].entry.end(), group.begin() + static_cast<std::ptrdiff_t>(entry)));
    Require(LoadLe16(group.data() + entry + 12) == kFirstId + i);
  }
  return 0;
}
