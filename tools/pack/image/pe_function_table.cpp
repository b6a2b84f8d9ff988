#include "tools/pack/image/pe_function_table.h"

namespace qvn::pack {

RuntimeFunction ReadRuntimeFunction(const PeImageFile& image, std::uint32_t rva) {
  return {image.U32At(rva + static_cast<std::uint32_t>(kRuntimeFunctionBegin), "function table"),
          image.U32At(rva + static_cast<std::uint32_t>(kRuntimeFunctionEnd), "function table"),
          image.U32At(rva + static_cast<std::uint32_t>(kRuntimeFunctionUnwindInfo), "function table")};
}

std::optional<RuntimeFunction> FindRuntimeFunction(const PeImageFile& image, std::uint32_t rva) {
  const PeDataDirectory table = image.headers().Directory(image.file(), kExceptionDirectory);
  std::uint32_t low = 0;
  std::uint32_t high = table.size / kRuntimeFunctionSize;
  while (low < high) {
    const std::uint32_t middle = low + (high - low) / 2;
    const RuntimeFunction entry = ReadRuntimeFunction(image, table.rva + middle * kRuntimeFunctionSize);
    if (rva < entry.begin) {
      high = middle;
    } else if (rva >= entry.end) {
      low = middle + 1;
    } else {
      return entry;
    }
  }
  return std::nullopt;
}

}  // namespace qvn::pack
