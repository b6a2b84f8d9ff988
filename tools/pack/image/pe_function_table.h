#pragma once

#include <cstdint>
#include <optional>

#include "tools/pack/image/pe_image_file.h"

namespace qvn::pack {

// One entry of an x64 image's function table: the function's RVA range and
// the RVA of its unwind information.
struct RuntimeFunction {
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
  std::uint32_t unwindInfo = 0;
};

// The entry whose range holds `rva`, found by binary search in the table,
// which the linker sorts by begin; none for a leaf function the table leaves
// out, or an image without a table. Raises PeFormatError for a table that
// lies outside the image.
std::optional<RuntimeFunction> FindRuntimeFunction(const PeImageFile& image, std::uint32_t rva);

// The entry at `rva` itself (a chained entry's parent), read as it is.
RuntimeFunction ReadRuntimeFunction(const PeImageFile& image, std::uint32_t rva);

}  // namespace qvn::pack
