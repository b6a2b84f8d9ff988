#pragma once

#include <cstddef>
#include <cstdint>

// The numbers of the PE/COFF format that the packer reads and writes, from
// Microsoft's PE format documentation. A field's constant is its offset in
// bytes from the start of the structure it belongs to.
namespace qvn::pack {

// DOS header: its magic, and where it says the PE signature lies.
inline constexpr std::uint16_t kDosMagic = 0x5A4D;  // "MZ"
inline constexpr std::uint64_t kDosPeHeaderOffset = 0x3C;
inline constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
inline constexpr std::uint64_t kPeSignatureSize = 4;

// COFF file header.
inline constexpr std::uint64_t kCoffHeaderSize = 20;
inline constexpr std::uint64_t kCoffMachine = 0;
inline constexpr std::uint64_t kCoffNumberOfSections = 2;
inline constexpr std::uint64_t kCoffSizeOfOptionalHeader = 16;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;

// Optional header: its two kinds, then fields of PE32+ (the same offsets in
// PE32 up to SizeOfHeaders and CheckSum).
inline constexpr std::uint16_t kOptionalHeaderPe32 = 0x10B;
inline constexpr std::uint16_t kOptionalHeaderPe32Plus = 0x20B;
inline constexpr std::uint64_t kSizeOfInitializedData = 8;
inline constexpr std::uint64_t kSectionAlignment = 32;
inline constexpr std::uint64_t kFileAlignment = 36;
inline constexpr std::uint64_t kSizeOfImage = 56;
inline constexpr std::uint64_t kSizeOfHeaders = 60;
inline constexpr std::uint64_t kCheckSum = 64;
inline constexpr std::uint64_t kNumberOfRvaAndSizesPe32 = 92;
inline constexpr std::uint64_t kNumberOfRvaAndSizesPe32Plus = 108;

// Data directories, which follow NumberOfRvaAndSizes: an RVA and a size
// each.
inline constexpr std::uint64_t kDataDirectorySize = 8;
inline constexpr std::uint64_t kDataDirectoryRva = 0;
inline constexpr std::uint64_t kDataDirectorySizeField = 4;
inline constexpr std::size_t kResourceDirectory = 2;
inline constexpr std::size_t kCertificateDirectory = 4;

// Section header.
inline constexpr std::uint32_t kSectionHeaderSize = 40;
inline constexpr std::uint64_t kSectionName = 0;
inline constexpr std::uint64_t kSectionNameSize = 8;
inline constexpr std::uint64_t kSectionVirtualSize = 8;
inline constexpr std::uint64_t kSectionVirtualAddress = 12;
inline constexpr std::uint64_t kSectionSizeOfRawData = 16;
inline constexpr std::uint64_t kSectionPointerToRawData = 20;
// PointerToRelocations, PointerToLinenumbers and their two counts: zero in
// an image.
inline constexpr std::uint64_t kSectionRelocationFields = 24;
inline constexpr std::uint64_t kSectionCharacteristics = 36;
inline constexpr std::uint32_t kSectionInitializedData = 0x00000040;
inline constexpr std::uint32_t kSectionMemoryRead = 0x40000000;

// Resource directory table: a 16-byte header with the counts of named and
// of numbered entries, then 8-byte entries (name or id, then the offset of
// a subdirectory or of a data entry), which point at 16-byte data entries
// (RVA, size, code page, reserved).
inline constexpr std::uint32_t kResourceDirectoryHeaderSize = 16;
inline constexpr std::uint64_t kResourceNamedEntryCount = 12;
inline constexpr std::uint64_t kResourceIdEntryCount = 14;
inline constexpr std::uint32_t kResourceDirectoryEntrySize = 8;
inline constexpr std::uint64_t kResourceEntryName = 0;
inline constexpr std::uint64_t kResourceEntryTarget = 4;
inline constexpr std::uint32_t kResourceDataEntrySize = 16;
inline constexpr std::uint64_t kResourceDataRva = 0;
inline constexpr std::uint64_t kResourceDataSize = 4;
inline constexpr std::uint64_t kResourceDataCodePage = 8;
inline constexpr std::uint64_t kResourceDataReserved = 12;
// In an entry's name field: the rest is the offset of a length-prefixed
// UTF-16 name. In its other field: the rest is a subdirectory's offset.
inline constexpr std::uint32_t kResourceNamedEntryFlag = 0x80000000;
inline constexpr std::uint32_t kResourceSubdirectoryFlag = 0x80000000;

}  // namespace qvn::pack
