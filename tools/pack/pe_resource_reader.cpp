#include "tools/pack/pe_resource_reader.h"

#include <algorithm>
#include <string>

namespace qvn::pack {
namespace {

constexpr std::uint16_t kRcDataType = 10;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000;
constexpr std::uint32_t kNamedEntryFlag = 0x80000000;
constexpr std::size_t kResourceDirectoryIndex = 2;

// Little-endian reads from the file, each checked against its end.
class FileView {
 public:
  explicit FileView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool Holds(std::uint64_t offset, std::uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  std::uint32_t Read(std::uint64_t offset, int width, const char* what) const {
    if (!Holds(offset, static_cast<std::uint64_t>(width))) throw PeFormatError(std::string(what) + " lies past the end of the file");
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes_[offset + i];
    return value;
  }
  std::uint16_t U16(std::uint64_t offset, const char* what) const {
    return static_cast<std::uint16_t>(Read(offset, 2, what));
  }
  std::uint32_t U32(std::uint64_t offset, const char* what) const { return Read(offset, 4, what); }
  std::span<const std::uint8_t> Slice(std::uint64_t offset, std::uint64_t length) const {
    return bytes_.subspan(offset, length);
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

struct Section {
  std::uint32_t virtualAddress;
  std::uint32_t virtualSize;
  std::uint32_t rawSize;
  std::uint32_t rawOffset;
};

struct PeLayout {
  std::uint32_t resourceRva = 0;
  std::uint64_t sectionTable = 0;
  std::uint16_t sectionCount = 0;
};

PeLayout ReadLayout(const FileView& file) {
  if (file.U16(0, "DOS header") != 0x5A4D) throw PeFormatError("no DOS header (MZ)");
  const std::uint64_t peHeader = file.U32(0x3C, "DOS header");
  if (file.U32(peHeader, "PE signature") != 0x00004550) throw PeFormatError("no PE signature");
  const std::uint64_t coffHeader = peHeader + 4;
  const std::uint64_t optionalHeader = coffHeader + 20;
  const std::uint16_t optionalHeaderSize = file.U16(coffHeader + 16, "COFF header");

  std::uint64_t directoryCountField = 0;
  switch (file.U16(optionalHeader, "optional header")) {
    case 0x10B: directoryCountField = optionalHeader + 92; break;   // PE32
    case 0x20B: directoryCountField = optionalHeader + 108; break;  // PE32+
    default: throw PeFormatError("unknown optional header kind");
  }
  const std::uint64_t directories = directoryCountField + 4;
  if (!file.Holds(optionalHeader, optionalHeaderSize)) throw PeFormatError("optional header lies past the end of the file");

  PeLayout layout;
  layout.sectionCount = file.U16(coffHeader + 2, "COFF header");
  layout.sectionTable = optionalHeader + optionalHeaderSize;
  const std::uint32_t directoryCount = file.U32(directoryCountField, "optional header");
  const std::uint64_t resourceEntry = directories + 8 * kResourceDirectoryIndex;
  if (directoryCount > kResourceDirectoryIndex && resourceEntry + 8 <= layout.sectionTable) {
    layout.resourceRva = file.U32(resourceEntry, "data directory");
  }
  return layout;
}

// The file offset of `length` bytes at `rva`, which must lie inside one
// section's data on disk.
std::uint64_t FileOffsetOf(const FileView& file, const PeLayout& layout, std::uint32_t rva, std::uint64_t length) {
  for (std::uint16_t i = 0; i < layout.sectionCount; ++i) {
    const std::uint64_t header = layout.sectionTable + 40ull * i;
    const Section section{file.U32(header + 12, "section table"), file.U32(header + 8, "section table"),
                          file.U32(header + 16, "section table"), file.U32(header + 20, "section table")};
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

// The entry of a resource directory with numeric identifier `id`, or, for
// `id` absent, its first entry. Returns the raw entry value, or nullopt.
std::optional<std::uint32_t> FindEntry(const FileView& file, std::uint64_t directory, std::optional<std::uint16_t> id) {
  const std::uint32_t namedCount = file.U16(directory + 12, "resource directory");
  const std::uint32_t idCount = file.U16(directory + 14, "resource directory");
  for (std::uint32_t i = 0; i < namedCount + idCount; ++i) {
    const std::uint64_t entry = directory + 16 + 8ull * i;
    const std::uint32_t name = file.U32(entry, "resource directory entry");
    if (!id || ((name & kNamedEntryFlag) == 0 && name == *id)) return file.U32(entry + 4, "resource directory entry");
  }
  return std::nullopt;
}

std::uint64_t Subdirectory(std::uint64_t root, std::uint32_t entryValue) {
  if ((entryValue & kSubdirectoryFlag) == 0) throw PeFormatError("resource tree has data where a directory belongs");
  return root + (entryValue & ~kSubdirectoryFlag);
}

}  // namespace

bool LooksLikePeImage(std::span<const std::uint8_t> file) {
  return file.size() >= 2 && file[0] == 'M' && file[1] == 'Z';
}

std::optional<std::span<const std::uint8_t>> FindRcDataResource(std::span<const std::uint8_t> bytes, std::uint16_t id) {
  const FileView file(bytes);
  const PeLayout layout = ReadLayout(file);
  if (layout.resourceRva == 0) return std::nullopt;

  const std::uint64_t root = FileOffsetOf(file, layout, layout.resourceRva, 16);
  const std::optional<std::uint32_t> type = FindEntry(file, root, kRcDataType);
  if (!type) return std::nullopt;
  const std::optional<std::uint32_t> name = FindEntry(file, Subdirectory(root, *type), id);
  if (!name) return std::nullopt;
  // Languages are sorted by number, so a neutral (0) instance comes first.
  const std::optional<std::uint32_t> language = FindEntry(file, Subdirectory(root, *name), std::nullopt);
  if (!language) return std::nullopt;
  if ((*language & kSubdirectoryFlag) != 0) throw PeFormatError("resource tree has a directory where data belongs");

  const std::uint64_t dataEntry = root + *language;
  const std::uint32_t dataRva = file.U32(dataEntry, "resource data entry");
  const std::uint32_t dataSize = file.U32(dataEntry + 4, "resource data entry");
  return file.Slice(FileOffsetOf(file, layout, dataRva, dataSize), dataSize);
}

}  // namespace qvn::pack
