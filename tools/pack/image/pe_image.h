#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/error.h"
#include "base/little_endian_view.h"
#include "tools/pack/image/pe_format.h"

namespace qvn::pack {

// Raised when bytes that claim to be a PE image do not hold together.
class PeFormatError : public Error {
 public:
  using Error::Error;
};

using PeFileView = LittleEndianView<PeFormatError>;

// `value` rounded up to a multiple of `alignment`, a power of two.
inline std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) & ~(alignment - 1);
}

struct PeSection {
  std::uint64_t headerOffset;
  std::uint32_t virtualSize;
  std::uint32_t virtualAddress;
  std::uint32_t rawSize;
  std::uint32_t rawOffset;
  std::uint32_t characteristics;
};

struct PeDataDirectory {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

// Where the headers of a PE image (32- or 64-bit) lie in its file, and what
// its section table and data directories say.
struct PeHeaders {
  std::uint64_t coffHeader = 0;
  std::uint64_t optionalHeader = 0;
  std::uint64_t sectionTable = 0;
  std::uint16_t machine = 0;
  std::uint16_t optionalHeaderKind = 0;
  std::uint64_t directoryTable = 0;  // file offset of data directory 0
  std::uint32_t directoryCount = 0;  // only those inside the optional header
  std::uint32_t timeDateStamp = 0;
  std::uint32_t sizeOfImage = 0;
  std::uint64_t imageBase = 0;
  std::uint32_t symbolTable = 0;  // file offset of the COFF symbol table; 0: none
  std::uint32_t symbolCount = 0;
  std::vector<PeSection> sections;

  PeDataDirectory Directory(const PeFileView& file, std::size_t index) const;
  std::uint64_t DirectoryOffset(std::size_t index) const { return directoryTable + kDataDirectorySize * index; }
};

// Raises PeFormatError when the headers or the section table do not fit in
// the file, or the optional header is of an unknown kind.
PeHeaders ReadPeHeaders(const PeFileView& file);

// The file offset of `length` bytes at `rva`, which must lie inside one
// section's data on disk.
std::uint64_t FileOffsetOfRva(const PeHeaders& headers, const PeFileView& file, std::uint32_t rva,
                              std::uint64_t length);

}  // namespace qvn::pack
