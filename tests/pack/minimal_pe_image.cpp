#include "tests/pack/minimal_pe_image.h"

#include <algorithm>
#include <map>

#include "base/little_endian_field.h"
#include "tools/pack/image/pe_format.h"

namespace qvn::testing {
namespace {

using namespace qvn::pack;  // the PE format's fields

constexpr std::uint32_t kHeadersOffset = 0x40;
constexpr std::uint32_t kSectionOffset = 0x200;

using Languages = std::map<std::uint16_t, const std::vector<std::uint8_t>*>;
using Ids = std::map<std::uint16_t, Languages>;
using Types = std::map<std::uint16_t, Ids>;

// Writes one directory with its entries at `offset`; returns the offset
// after it. Each entry's value comes from `target(key)`.
template <typename Map, typename Target>
std::uint32_t PutDirectory(std::vector<std::uint8_t>& tree, std::uint32_t offset, const Map& children, Target target) {
  PutField(tree, offset, kResourceIdEntryCount, static_cast<std::uint16_t>(children.size()));  // id entries only
  std::uint32_t entry = offset + kResourceDirectoryHeaderSize;
  for (const auto& [key, child] : children) {
    PutField(tree, entry, kResourceEntryName, key);
    PutField(tree, entry, kResourceEntryTarget, target(key, child));
    entry += kResourceDirectoryEntrySize;
  }
  return entry;
}

// Directories first (root, types, ids), then data entries, then the data.
std::vector<std::uint8_t> MakeResourceTree(const Types& types, std::uint32_t sectionRva) {
  std::vector<std::uint8_t> tree;
  std::uint32_t next =
      kResourceDirectoryHeaderSize + kResourceDirectoryEntrySize * static_cast<std::uint32_t>(types.size());
  std::map<std::uint16_t, std::uint32_t> typeOffsets;
  std::map<std::pair<std::uint16_t, std::uint16_t>, std::uint32_t> idOffsets;
  for (const auto& [type, ids] : types) {
    typeOffsets[type] = next;
    next += kResourceDirectoryHeaderSize + kResourceDirectoryEntrySize * static_cast<std::uint32_t>(ids.size());
  }
  for (const auto& [type, ids] : types) {
    for (const auto& [id, languages] : ids) {
      idOffsets[{type, id}] = next;
      next += kResourceDirectoryHeaderSize + kResourceDirectoryEntrySize * static_cast<std::uint32_t>(languages.size());
    }
  }
  std::uint32_t dataEntry = next;
  std::uint32_t dataCount = 0;
  for (const auto& [type, ids] : types) {
    for (const auto& [id, languages] : ids) dataCount += static_cast<std::uint32_t>(languages.size());
  }
  std::uint32_t data = dataEntry + kResourceDataEntrySize * dataCount;

  constexpr std::uint32_t kSubdirectory = kResourceSubdirectoryFlag;
  PutDirectory(tree, 0, types, [&](std::uint16_t type, const Ids&) { return kSubdirectory | typeOffsets[type]; });
  for (const auto& [type, ids] : types) {
    const std::uint16_t t = type;
    PutDirectory(tree, typeOffsets[type], ids, [&](std::uint16_t id, const Languages&) {
      return kSubdirectory | idOffsets[{t, id}];
    });
    for (const auto& [id, languages] : ids) {
      PutDirectory(tree, idOffsets[{type, id}], languages, [&](std::uint16_t, const std::vector<std::uint8_t>* bytes) {
        const std::uint32_t entry = dataEntry;
        PutField(tree, entry, kResourceDataRva, sectionRva + data);
        PutField(tree, entry, kResourceDataSize, static_cast<std::uint32_t>(bytes->size()));
        if (tree.size() < data + bytes->size()) tree.resize(data + bytes->size());
        std::copy(bytes->begin(), bytes->end(), tree.begin() + data);
        data += (static_cast<std::uint32_t>(bytes->size()) + 7) & ~7u;
        dataEntry += kResourceDataEntrySize;
        return entry;
      });
    }
  }
  if (tree.size() < data) tree.resize(data);
  return tree;
}

}  // namespace

std::vector<std::uint8_t> MakePeImage(const std::vector<PeResource>& resources, PeKind kind, std::uint32_t sectionRva) {
  const bool plus = kind == PeKind::kPe32Plus;
  const std::uint32_t optionalHeaderSize = plus ? 240 : 224;
  std::vector<std::uint8_t> image(kSectionOffset, 0);
  PutField(image, 0, kDosMagicField, kDosMagic);
  PutField(image, 0, kDosPeHeaderOffset, kHeadersOffset);
  PutField(image, kHeadersOffset, kPeSignatureField, kPeSignature);
  const std::uint64_t coff = kHeadersOffset + kPeSignatureSize;
  PutField(image, coff, kCoffMachine, plus ? kMachineAmd64 : std::uint16_t{0x14C});
  PutField(image, coff, kCoffNumberOfSections, resources.empty() ? 0 : 1);
  PutField(image, coff, kCoffSizeOfOptionalHeader, static_cast<std::uint16_t>(optionalHeaderSize));
  const std::uint64_t optional = coff + kCoffHeaderSize;
  PutField(image, optional, kOptionalHeaderKind, plus ? kOptionalHeaderPe32Plus : kOptionalHeaderPe32);
  PutField(image, optional, kSectionAlignment, 0x1000);
  PutField(image, optional, kFileAlignment, 0x200);
  PutField(image, optional, kSizeOfHeaders, kSectionOffset);
  const LeField<std::uint32_t> directoryCount = plus ? kNumberOfRvaAndSizesPe32Plus : kNumberOfRvaAndSizesPe32;
  PutField(image, optional, directoryCount, 16);
  if (resources.empty()) return image;

  Types types;
  for (const PeResource& resource : resources) types[resource.type][resource.id][resource.language] = &resource.data;
  const std::vector<std::uint8_t> tree = MakeResourceTree(types, sectionRva);
  const std::uint32_t rawSize = (static_cast<std::uint32_t>(tree.size()) + 0x1FF) & ~0x1FFu;

  const std::uint64_t resourceDirectory = optional + directoryCount.End() + kDataDirectorySize * kResourceDirectory;
  PutField(image, resourceDirectory, kDataDirectoryRva, sectionRva);
  PutField(image, resourceDirectory, kDataDirectorySizeField, static_cast<std::uint32_t>(tree.size()));
  const std::uint64_t section = optional + optionalHeaderSize;
  const char name[kSectionNameSize] = {'.', 'r', 's', 'r', 'c'};
  std::copy(name, name + kSectionNameSize, image.begin() + static_cast<std::ptrdiff_t>(section + kSectionName));
  PutField(image, section, kSectionVirtualSize, static_cast<std::uint32_t>(tree.size()));
  PutField(image, section, kSectionVirtualAddress, sectionRva);
  PutField(image, section, kSectionSizeOfRawData, rawSize);
  PutField(image, section, kSectionPointerToRawData, kSectionOffset);
  PutField(image, section, kSectionCharacteristics, kSectionInitializedData | kSectionMemoryRead);
  image.insert(image.end(), tree.begin(), tree.end());
  image.resize(kSectionOffset + rawSize);
  return image;
}

}  // namespace qvn::testing
