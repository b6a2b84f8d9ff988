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

// The plain sum of the 16-bit little-endian words that `bytes` make when
// they lie at file offset `at`: from an odd offset, each byte is the high
// byte of its word where it would be the low one from an even offset.
// Folded once at the end, such a sum is the same as the one's-complement
// sum folded at every step, and far quicker over a payload of many
// megabytes.
std::uint64_t SumWords(std::span<const std::uint8_t> bytes, std::uint64_t at) {
  std::uint64_t sum = 0;
  std::size_t i = 0;
  if (at % 2 != 0 && !bytes.empty()) {
    sum += std::uint32_t{bytes[0]} << 8;
    i = 1;
  }
  for (; i + 1 < bytes.size(); i += 2) sum += bytes[i] | (std::uint32_t{bytes[i + 1]} << 8);
  if (i < bytes.size()) sum += bytes[i];
  return sum;
}

std::uint32_t FoldChecksum(std::uint64_t sum, std::uint64_t fileSize) {
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + fileSize);
}

// The checksum of `head`, its CheckSum field zero, followed by `rest`.
std::uint32_t ChecksumOf(std::span<const std::uint8_t> head, const ImagePieces& rest) {
  std::uint64_t sum = SumWords(head, 0);
  std::uint64_t at = head.size();
  for (const std::span<const std::uint8_t> piece : rest.Spans()) {
    sum += SumWords(piece, at);
    at += piece.size();
  }
  return FoldChecksum(sum, at);
}

}  // namespace

std::uint64_t PeChecksumOffset(std::span<const std::uint8_t> image) {
  return ReadPeHeaders(PeFileView(image)).optionalHeader + kCheckSum.offset;
}

std::uint32_t ComputePeChecksum(std::span<const std::uint8_t> image, std::uint64_t checksumOffset) {
  std::uint64_t sum = SumWords(image, 0);
  // The CheckSum field is taken back out.
  for (std::uint64_t i = checksumOffset; i < checksumOffset + kCheckSum.kWidth && i < image.size(); ++i) {
    sum -= std::uint64_t{image[i]} << (i % 2 * 8);
  }
  return FoldChecksum(sum, image.size());
}

ImagePieces WriteResourcePieces(std::span<const std::uint8_t> image, std::span<const PeResource> resources) {
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
  ImagePieces section;
  const std::uint32_t sectionSize =
      AppendResourceSection(std::move(table), place.virtualAddress, fileAlignment, section);
  const std::uint64_t rawSize = section.size();
  const std::uint64_t imageEnd = AlignUp(std::uint64_t{place.virtualAddress} + sectionSize, sectionAlignment);
  if (place.rawOffset + rawSize > 0xFFFFFFFFu || imageEnd > 0xFFFFFFFFu) {
    throw PeRewriteRefused("the resources make the image larger than 4 GiB");
  }

  // The image's bytes before the section, with the headers set to match it.
  std::vector<std::uint8_t> out(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(
                                                                   place.rawOffset, image.size())));
  out.resize(place.rawOffset, 0);
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
  PutField(out, optional, kCheckSum, 0);
  PutField(out, optional, kCheckSum, ChecksumOf(out, section));

  ImagePieces pieces;
  pieces.Append(out);
  pieces.Append(std::move(section));
  return pieces;
}

std::vector<std::uint8_t> WriteResources(std::span<const std::uint8_t> image, std::span<const PeResource> resources) {
  return WriteResourcePieces(image, resources).Join();
}

}  // namespace qvn::pack
