#include "tools/pack/image/pe_image_file.h"

#include <algorithm>
#include <string>
#include <utility>

namespace qvn::pack {

PeImageFile::PeImageFile(std::vector<std::uint8_t> bytes)
    : bytes_(std::move(bytes)), file_(bytes_), headers_(ReadPeHeaders(file_)) {}

std::span<const std::uint8_t> PeImageFile::BytesAt(std::uint32_t rva, std::uint64_t length, const char* what) const {
  for (const PeSection& section : headers_.sections) {
    if (rva < section.virtualAddress) continue;
    const std::uint64_t inSection = rva - section.virtualAddress;
    if (inSection >= std::max(section.virtualSize, section.rawSize)) continue;
    if (inSection + length > section.rawSize) break;
    return file_.Slice(std::uint64_t{section.rawOffset} + inSection, length, what);
  }
  throw PeFormatError(std::string(what) + " lies outside the image's sections");
}

std::uint16_t PeImageFile::U16At(std::uint32_t rva, const char* what) const {
  const std::span<const std::uint8_t> bytes = BytesAt(rva, 2, what);
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t PeImageFile::U32At(std::uint32_t rva, const char* what) const {
  const std::span<const std::uint8_t> bytes = BytesAt(rva, 4, what);
  return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16) |
         (std::uint32_t{bytes[3]} << 24);
}

bool PeImageFile::IsCode(std::uint32_t rva) const {
  for (const PeSection& section : headers_.sections) {
    if (rva < section.virtualAddress || rva - section.virtualAddress >= section.virtualSize) continue;
    return (section.characteristics & (kSectionCode | kSectionMemoryExecute)) != 0;
  }
  return false;
}

}  // namespace qvn::pack
