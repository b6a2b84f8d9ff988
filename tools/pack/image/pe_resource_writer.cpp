#include "tools/pack/image/pe_resource_writer.h"

#include <algorithm>
#include <string>

#include "base/little_endian_field.h"
#include "tools/pack/image/pe_image.h"
#include "tools/pack/image/pe_resource_reader.h"
#include "tools/pack/image/pe_resource_section.h"

namespace qvn::pack {
namespace {

constexpr std::uint32_t kResourceSectionFlags = kSectionInitializedData | kSectionMemoryRead;

bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

// Where the new resource section goes: over the old one when that is the
// last section, else after every section in a new header slot.
struct SectionPlace {
  std::uint64_t header;
  std::uint32_t virtualAddress;
  std::uint64_t rawOffset;
  std::uint32_t replacedRawSize;
  bool added;
};

SectionPlace PlaceSection(const PeFileView& file, const PeHeaders& headers, std::uint32_t resourceRva) {
  const std::uint32_t sectionAlignment = file.Get(headers.optionalHeader, kSectionAlignment, "optional header");
  const std::uint32_t fileAlignment = file.Get(headers.optionalHeader, kFileAlignment, "optional header");
  if (!IsPowerOfTwo(sectionAlignment) || !IsPowerOfTwo(fileAlignment)) {
    throw PeRewriteRefused("its section or file alignment is not a power of two");
  }
  if (headers.sections.empty()) throw PeRewriteRefused("it has no sections");

  std::uint64_t rawEnd = 0;
  std::uint64_t virtualEnd = 0;
  std::uint64_t firstRaw = file.size();
  const PeSection* last = &headers.sections.front();
  for (const PeSection& section : headers.sections) {
    if (section.rawSize != 0) {
      rawEnd = std::max<std::uint64_t>(rawEnd, std::uint64_t{section.rawOffset} + section.rawSize);
      firstRaw = std::min<std::uint64_t>(firstRaw, section.rawOffset);
    }
    // An empty section still takes its address: the new one must come
    // after it, or two sections would start at the same place.
    virtualEnd = std::max<std::uint64_t>(
        virtualEnd, std::uint64_t{section.virtualAddress} + std::max({section.virtualSize, section.rawSize, 1u}));
    if (section.virtualAddress > last->virtualAddress) last = &section;
  }
  if (rawEnd > file.size()) throw PeRewriteRefused("a section lies past the end of the file");
  if (rawEnd < file.size()) {
    throw PeRewriteRefused("it holds " + std::to_string(file.size() - rawEnd) +
                           " bytes after its last section (debug symbols or appended data)");
  }

  // The loader maps SizeOfHeaders bytes from the start of the file; past
  // the first section's data they would overlap it, and a section header
  // added there would land in that data.
  const std::uint32_t sizeOfHeaders = file.Get(headers.optionalHeader, kSizeOfHeaders, "optional header");
  if (sizeOfHeaders > firstRaw)
    throw PeRewriteRefused("its headers (SizeOfHeaders) reach into the first section's data");

  if (resourceRva != 0 && last->virtualAddress == resourceRva) {
    // Rewritten in place, a resource section that grows would run into the
    // data of the section after it in the file.
    if (std::uint64_t{last->rawOffset} + last->rawSize != rawEnd) {
      throw PeRewriteRefused("its resource section is the last one by address but not in the file");
    }
    return {last->headerOffset, last->virtualAddress, last->rawOffset, last->rawSize, false};
  }

  const std::uint64_t header = headers.sectionTable + kSectionHeaderSize * headers.sections.size();
  if (header + kSectionHeaderSize > sizeOfHeaders) {
    throw PeRewriteRefused("its headers have no room for another section header");
  }
  const std::uint64_t virtualAddress = AlignUp(virtualEnd, sectionAlignment);
  if (virtualAddress > 0xFFFFFFFFu) throw PeRewriteRefused("its sections fill the address space");
  return {header, static_cast<std::uint32_t>(virtualAddress), AlignUp(rawEnd, fileAlignment), 0, true};
}

void CheckRewritable(const PeFileView& file, const PeHeaders& headers) {
  if (headers.machine != kMachineAmd64 || headers.optionalHeaderKind != kOptionalHeaderPe32Plus) {
    throw PeRewriteRefused("it is not a PE32+ x64 image");
  }
  if (headers.directoryCount <= kResourceDirectory) throw PeRewriteRefused("it has no resource directory entry");
  if (headers.Directory(file, kCertificateDirectory).size != 0) {
    throw PeRewriteRefused("it holds a certificate table (it is signed; sign after writing resources, never before)");
  }
}

}  // namespace

std::uint64_t PeChecksumOffset(std::span<const std::uint8_t> image) {
  return ReadPeHeaders(PeFileView(image)).optionalHeader + kCheckSum.offset;
}

std::uint32_t ComputePeChecksum(std::span<const std::uint8_t> image, std::uint64_t checksumOffset) {
  // A plain sum of the words, folded once at the end, is the same as the
  // one's-complement sum folded at every step, and far quicker over a
  // payload of many megabytes; the CheckSum field is taken back out.
  std::uint64_t sum = 0;
  const std::size_t even = image.size() & ~std::size_t{1};
  for (std::size_t i = 0; i < even; i += 2) sum += image[i] | (std::uint32_t{image[i + 1]} << 8);
  if (even < image.size()) sum += image[even];
  for (std::uint64_t i = checksumOffset; i < checksumOffset + kCheckSum.kWidth && i < image.size(); ++i) {
    sum -= std::uint64_t{image[i]} << (i % 2 * 8);
  }
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + image.size());
}

std::vector<std::uint8_t> WriteResources(std::span<const std::uint8_t> image, std::span<const PeResource> resources) {
  const PeFileView file(image);
  PeHeaders headers;
  std::vector<PeResource> table;
  try {
    headers = ReadPeHeaders(file);
    CheckRewritable(file, headers);
    table = ReadPeResources(image);
  } catch (const PeFormatError& error) {
    throw PeRewriteRefused(std::string("it is not a well-formed PE image: ") + error.what());
  }
  const std::uint32_t resourceRva = headers.Directory(file, kResourceDirectory).rva;
  const SectionPlace place = PlaceSection(file, headers, resourceRva);

  table.insert(table.end(), resources.begin(), resources.end());
  const std::uint32_t fileAlignment = file.Get(headers.optionalHeader, kFileAlignment, "optional header");
  const std::uint32_t sectionAlignment = file.Get(headers.optionalHeader, kSectionAlignment, "optional header");
  // The image's bytes before the section, then the section laid out in
  // place: a payload of many megabytes is copied once.
  std::vector<std::uint8_t> out(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(
                                                                   place.rawOffset, image.size())));
  out.resize(place.rawOffset, 0);
  const std::uint32_t sectionSize = AppendResourceSection(std::move(table), place.virtualAddress, fileAlignment, out);
  const std::uint64_t rawSize = out.size() - place.rawOffset;
  const std::uint64_t imageEnd = AlignUp(std::uint64_t{place.virtualAddress} + sectionSize, sectionAlignment);
  if (place.rawOffset + rawSize > 0xFFFFFFFFu || imageEnd > 0xFFFFFFFFu) {
    throw PeRewriteRefused("the resources make the image larger than 4 GiB");
  }

  const char name[kSectionNameSize] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
  std::copy(name, name + kSectionNameSize, out.begin() + static_cast<std::ptrdiff_t>(place.header + kSectionName));
  PutField(out, place.header, kSectionVirtualSize, sectionSize);
  PutField(out, place.header, kSectionVirtualAddress, place.virtualAddress);
  PutField(out, place.header, kSectionSizeOfRawData, static_cast<std::uint32_t>(rawSize));
  PutField(out, place.header, kSectionPointerToRawData, static_cast<std::uint32_t>(place.rawOffset));
  PutField(out, place.header, kSectionPointerToRelocations, 0);
  PutField(out, place.header, kSectionPointerToLinenumbers, 0);
  PutField(out, place.header, kSectionNumberOfRelocations, 0);
  PutField(out, place.header, kSectionNumberOfLinenumbers, 0);
  PutField(out, place.header, kSectionCharacteristics, kResourceSectionFlags);
  if (place.added) {
    PutField(out, headers.coffHeader, kCoffNumberOfSections, static_cast<std::uint16_t>(headers.sections.size() + 1));
  }

  const std::uint64_t optional = headers.optionalHeader;
  const std::uint32_t initialized = file.Get(optional, kSizeOfInitializedData, "optional header");
  PutField(out, optional, kSizeOfInitializedData,
           static_cast<std::uint32_t>(initialized - place.replacedRawSize + rawSize));
  PutField(out, optional, kSizeOfImage, static_cast<std::uint32_t>(imageEnd));
  PutField(out, headers.DirectoryOffset(kResourceDirectory), kDataDirectoryRva, place.virtualAddress);
  PutField(out, headers.DirectoryOffset(kResourceDirectory), kDataDirectorySizeField, sectionSize);
  PutField(out, optional, kCheckSum, ComputePeChecksum(out, optional + kCheckSum.offset));
  return out;
}

}  // namespace qvn::pack
