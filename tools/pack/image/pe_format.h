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
inline constexpr std::uint64_t kCoffTimeDateStamp = 4;
inline constexpr std::uint64_t kCoffPointerToSymbolTable = 8;
inline constexpr std::uint64_t kCoffNumberOfSymbols = 12;
inline constexpr std::uint64_t kCoffSizeOfOptionalHeader = 16;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;

// Optional header: its two kinds, then fields of PE32+ (the same offsets in
// PE32 up to SizeOfHeaders and CheckSum).
inline constexpr std::uint16_t kOptionalHeaderPe32 = 0x10B;
inline constexpr std::uint16_t kOptionalHeaderPe32Plus = 0x20B;
inline constexpr std::uint64_t kSizeOfInitializedData = 8;
inline constexpr std::uint64_t kImageBasePe32 = 28;      // 32 bits
inline constexpr std::uint64_t kImageBasePe32Plus = 24;  // 64 bits
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
inline constexpr std::size_t kExportDirectory = 0;
inline constexpr std::size_t kResourceDirectory = 2;
inline constexpr std::size_t kExceptionDirectory = 3;  // x64: the function table (.pdata)
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
inline constexpr std::uint32_t kSectionCode = 0x00000020;
inline constexpr std::uint32_t kSectionInitializedData = 0x00000040;
inline constexpr std::uint32_t kSectionMemoryExecute = 0x20000000;
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
