#pragma once

#include <cstddef>
#include <cstdint>

#include "base/little_endian_field.h"

// The numbers of the PE/COFF format that the packer reads and writes, from
// Microsoft's PE format documentation. A field is its offset from the
// start of the structure it belongs to and its width; readers and the
// writer go through these alone.
namespace qvn::pack {

// DOS header: its magic, and where it says the PE signature lies.
inline constexpr std::uint16_t kDosMagic = 0x5A4D;  // "MZ"
inline constexpr LeField<std::uint16_t> kDosMagicField{0};
inline constexpr LeField<std::uint32_t> kDosPeHeaderOffset{0x3C};
inline constexpr LeField<std::uint32_t> kPeSignatureField{0};
inline constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
inline constexpr std::uint64_t kPeSignatureSize = kPeSignatureField.End();

// COFF file header.
inline constexpr std::uint64_t kCoffHeaderSize = 20;
inline constexpr LeField<std::uint16_t> kCoffMachine{0};
inline constexpr LeField<std::uint16_t> kCoffNumberOfSections{2};
inline constexpr LeField<std::uint32_t> kCoffTimeDateStamp{4};
inline constexpr LeField<std::uint32_t> kCoffPointerToSymbolTable{8};
inline constexpr LeField<std::uint32_t> kCoffNumberOfSymbols{12};
inline constexpr LeField<std::uint16_t> kCoffSizeOfOptionalHeader{16};
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;

// Optional header: its kind (magic) of two, then fields of PE32+ (the same
// offsets in PE32 up to SizeOfHeaders and CheckSum).
inline constexpr LeField<std::uint16_t> kOptionalHeaderKind{0};
inline constexpr std::uint16_t kOptionalHeaderPe32 = 0x10B;
inline constexpr std::uint16_t kOptionalHeaderPe32Plus = 0x20B;
inline constexpr LeField<std::uint32_t> kSizeOfInitializedData{8};
inline constexpr LeField<std::uint32_t> kImageBasePe32{28};
// PE32+ widens ImageBase to 64 bits, read as such.
inline constexpr std::uint64_t kImageBasePe32PlusOffset = 24;
inline constexpr LeField<std::uint32_t> kSectionAlignment{32};
inline constexpr LeField<std::uint32_t> kFileAlignment{36};
inline constexpr LeField<std::uint32_t> kSizeOfImage{56};
inline constexpr LeField<std::uint32_t> kSizeOfHeaders{60};
inline constexpr LeField<std::uint32_t> kCheckSum{64};
inline constexpr LeField<std::uint32_t> kNumberOfRvaAndSizesPe32{92};
inline constexpr LeField<std::uint32_t> kNumberOfRvaAndSizesPe32Plus{108};

// Data directories, which follow NumberOfRvaAndSizes: an RVA and a size
// each.
inline constexpr std::uint64_t kDataDirectorySize = 8;
inline constexpr LeField<std::uint32_t> kDataDirectoryRva{0};
inline constexpr LeField<std::uint32_t> kDataDirectorySizeField{4};
inline constexpr std::size_t kExportDirectory = 0;
inline constexpr std::size_t kResourceDirectory = 2;
inline constexpr std::size_t kExceptionDirectory = 3;  // x64: the function table (.pdata)
inline constexpr std::size_t kCertificateDirectory = 4;

// Section header.
inline constexpr std::uint32_t kSectionHeaderSize = 40;
inline constexpr std::uint64_t kSectionName = 0;
inline constexpr std::uint64_t kSectionNameSize = 8;
inline constexpr LeField<std::uint32_t> kSectionVirtualSize{8};
inline constexpr LeField<std::uint32_t> kSectionVirtualAddress{12};
inline constexpr LeField<std::uint32_t> kSectionSizeOfRawData{16};
inline constexpr LeField<std::uint32_t> kSectionPointerToRawData{20};
// Relocations and line numbers: none in an image.
inline constexpr LeField<std::uint32_t> kSectionPointerToRelocations{24};
inline constexpr LeField<std::uint32_t> kSectionPointerToLinenumbers{28};
inline constexpr LeField<std::uint16_t> kSectionNumberOfRelocations{32};
inline constexpr LeField<std::uint16_t> kSectionNumberOfLinenumbers{34};
inline constexpr LeField<std::uint32_t> kSectionCharacteristics{36};
inline constexpr std::uint32_t kSectionCode = 0x00000020;
inline constexpr std::uint32_t kSectionInitializedData = 0x00000040;
inline constexpr std::uint32_t kSectionMemoryExecute = 0x20000000;
inline constexpr std::uint32_t kSectionMemoryRead = 0x40000000;

// Resource directory table: a 16-byte header with the counts of named and
// of numbered entries, then 8-byte entries (name or id, then the offset of
// a subdirectory or of a data entry), which point at 16-byte data entries
// (RVA, size, code page, reserved).
inline constexpr std::uint32_t kResourceDirectoryHeaderSize = 16;
inline constexpr LeField<std::uint32_t> kResourceCharacteristics{0};
inline constexpr LeField<std::uint32_t> kResourceTimeDateStamp{4};
inline constexpr LeField<std::uint16_t> kResourceMajorVersion{8};
inline constexpr LeField<std::uint16_t> kResourceMinorVersion{10};
inline constexpr LeField<std::uint16_t> kResourceNamedEntryCount{12};
inline constexpr LeField<std::uint16_t> kResourceIdEntryCount{14};
inline constexpr std::uint32_t kResourceDirectoryEntrySize = 8;
inline constexpr LeField<std::uint32_t> kResourceEntryName{0};
inline constexpr LeField<std::uint32_t> kResourceEntryTarget{4};
inline constexpr std::uint32_t kResourceDataEntrySize = 16;
inline constexpr LeField<std::uint32_t> kResourceDataRva{0};
inline constexpr LeField<std::uint32_t> kResourceDataSize{4};
inline constexpr LeField<std::uint32_t> kResourceDataCodePage{8};
inline constexpr LeField<std::uint32_t> kResourceDataReserved{12};
// In an entry's name field: the rest is the offset of a length-prefixed
// UTF-16 name. In its other field: the rest is a subdirectory's offset.
inline constexpr std::uint32_t kResourceNamedEntryFlag = 0x80000000;
inline constexpr std::uint32_t kResourceSubdirectoryFlag = 0x80000000;

// Export directory table: counts and the RVAs of its three arrays (function
// RVAs, name RVAs, and the 16-bit index into the first for each name).
inline constexpr std::uint32_t kExportDirectorySize = 40;
inline constexpr std::uint64_t kExportNumberOfFunctions = 20;
inline constexpr std::uint64_t kExportNumberOfNames = 24;
inline constexpr std::uint64_t kExportAddressOfFunctions = 28;
inline constexpr std::uint64_t kExportAddressOfNames = 32;
inline constexpr std::uint64_t kExportAddressOfNameOrdinals = 36;

// COFF symbol table, which the GNU linker leaves in an image unless it is
// stripped: 18-byte records, a name of up to 8 bytes inline or (first four
// bytes zero) an offset into the string table that follows the records.
inline constexpr std::uint32_t kCoffSymbolSize = 18;
inline constexpr std::uint64_t kCoffSymbolName = 0;
inline constexpr std::uint64_t kCoffSymbolValue = 8;
inline constexpr std::uint64_t kCoffSymbolSectionNumber = 12;
inline constexpr std::uint64_t kCoffSymbolType = 14;
inline constexpr std::uint64_t kCoffSymbolStorageClass = 16;
inline constexpr std::uint64_t kCoffSymbolAuxCount = 17;
inline constexpr std::uint16_t kCoffSymbolTypeFunction = 0x20;  // complex type "function", base type none
inline constexpr std::uint8_t kCoffClassExternal = 2;
inline constexpr std::uint8_t kCoffClassStatic = 3;

// x64 function table entry (RUNTIME_FUNCTION): begin and end RVAs of a
// function and the RVA of its unwind information.
inline constexpr std::uint32_t kRuntimeFunctionSize = 12;
inline constexpr std::uint64_t kRuntimeFunctionBegin = 0;
inline constexpr std::uint64_t kRuntimeFunctionEnd = 4;
inline constexpr std::uint64_t kRuntimeFunctionUnwindInfo = 8;

}  // namespace qvn::pack
