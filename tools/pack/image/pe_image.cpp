#include "tools/pack/image/pe_image.h"

#include <algorithm>

namespace qvn::pack {

PeDataDirectory PeHeaders::Directory(const PeFileView& file, std::size_t index) const {
  if (index >= directoryCount) return {};
  return {file.Get(DirectoryOffset(index), kDataDirectoryRva, "data directory"),
          file.Get(DirectoryOffset(index), kDataDirectorySizeField, "data directory")};
}

PeHeaders ReadPeHeaders(const PeFileView& file) {
  if (file.Get(0, kDosMagicField, "DOS header") != kDosMagic) throw PeFormatError("no DOS header (MZ)");
  const std::uint64_t peHeader = file.Get(0, kDosPeHeaderOffset, "DOS header");
  if (file.Get(peHeader, kPeSignatureField, "PE signature") != kPeSignature) throw PeFormatError("no PE signature");
  PeHeaders headers;
  headers.coffHeader = peHeader + kPeSignatureSize;
  headers.optionalHeader = headers.coffHeader + kCoffHeaderSize;
  headers.machine = file.Get(headers.coffHeader, kCoffMachine, "COFF header");
  const std::uint16_t optionalHeaderSize = file.Get(headers.coffHeader, kCoffSizeOfOptionalHeader, "COFF header");
  headers.optionalHeaderKind = file.Get(headers.optionalHeader, kOptionalHeaderKind, "optional header");
  headers.timeDateStamp = file.Get(headers.coffHeader, kCoffTimeDateStamp, "COFF header");
  headers.symbolTable = file.Get(headers.coffHeader, kCoffPointerToSymbolTable, "COFF header");
  headers.symbolCount = file.Get(headers.coffHeader, kCoffNumberOfSymbols, "COFF header");

  LeField<std::uint32_t> directoryCountField{};
  switch (headers.optionalHeaderKind) {
    case kOptionalHeaderPe32:
      directoryCountField = kNumberOfRvaAndSizesPe32;
      headers.imageBase = file.Get(headers.optionalHeader, kImageBasePe32, "optional header");
      break;
    case kOptionalHeaderPe32Plus:
      directoryCountField = kNumberOfRvaAndSizesPe32Plus;
      headers.imageBase = file.U64(headers.optionalHeader + kImageBasePe32PlusOffset, "optional header");
      break;
    default:
      throw PeFormatError("unknown optional header kind");
  }
  if (!file.Holds(headers.optionalHeader, optionalHeaderSize)) {
    throw PeFormatError("optional header lies past the end of the file");
  }
  headers.sectionTable = headers.optionalHeader + optionalHeaderSize;
  headers.sizeOfImage = file.Get(headers.optionalHeader, kSizeOfImage, "optional header");
  headers.directoryTable = headers.optionalHeader + directoryCountField.End();
  // Directories that the optional header's size leaves out do not exist.
  const std::uint64_t room = headers.sectionTable > headers.directoryTable
                                 ? (headers.sectionTable - headers.directoryTable) / kDataDirectorySize
                                 : 0;
  headers.directoryCount = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(file.Get(headers.optionalHeader, directoryCountField, "optional header"), room));

  const std::uint16_t sectionCount = file.Get(headers.coffHeader, kCoffNumberOfSections, "COFF header");
  for (std::uint16_t i = 0; i < sectionCount; ++i) {
    const std::uint64_t header = headers.sectionTable + std::uint64_t{kSectionHeaderSize} * i;
    headers.sections.push_back({header, file.Get(header, kSectionVirtualSize, "section table"),
                                file.Get(header, kSectionVirtualAddress, "section table"),
                                file.Get(header, kSectionSizeOfRawData, "section table"),
                                file.Get(header, kSectionPointerToRawData, "section table"),
                                file.Get(header, kSectionCharacteristics, "section table")});
  }
  return headers;
}

std::uint64_t FileOffsetOfRva(const PeHeaders& headers, const PeFileView& file, std::uint32_t rva,
                              std::uint64_t length) {
  for (const PeSection& section : headers.sections) {
    if (rva < section.virtualAddress) continue;
    const std::uint64_t inSection = rva - section.virtualAddress;
    if (inSection >= std::max(section.virtualSize, section.rawSize)) continue;
    if (inSection + length > section.rawSize || !file.Holds(section.rawOffset + inSection, length)) {
      throw PeFormatError("resource data lies outside its section's bytes in the file");
    }
    return section.rawOffset + inSection;
  }
  throw PeFormatError("resource address lies in no section");
}

}  // namespace qvn::pack
