#include "tests/pack/minimal_pe_image.h"

#include <algorithm>
#include <map>

namespace qvn::testing {
namespace {

constexpr std::uint32_t kHeadersOffset = 0x40;
constexpr std::uint32_t kSectionOffset = 0x200;

void Put(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value, int width) {
  const auto count = static_cast<std::size_t>(width);
  if (bytes.size() < offset + count) bytes.resize(offset + count);
  for (std::size_t i = 0; i < count; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

using Languages = std::map<std::uint16_t, const std::vector<std::uint8_t>*>;
using Ids = std::map<std::uint16_t, Languages>;
using Types = std::map<std::uint16_t, Ids>;

// Writes one directory with its entries at `offset`; returns the offset
// after it. Each entry's value comes from `target(key)`.
template <typename Map, typename Target>
std::uint32_t PutDirectory(std::vector<std::uint8_t>& tree, std::uint32_t offset, const Map& children, Target target) {
  Put(tree, offset + 14, static_cast<std::uint32_t>(children.size()), 2);  // id entries only
  std::uint32_t entry = offset + 16;
  for (const auto& [key, child] : children) {
    Put(tree, entry, key, 4);
    Put(tree, entry + 4, target(key, child), 4);
    entry += 8;
  }
  return entry;
}

// Directories first (root, types, ids), then data entries, then the data.
std::vector<std::uint8_t> MakeResourceTree(const Types& types, std::uint32_t sectionRva) {
  std::vector<std::uint8_t> tree;
  std::uint32_t next = 16 + 8 * static_cast<std::uint32_t>(types.size());
  std::map<std::uint16_t, std::uint32_t> typeOffsets;
  std::map<std::pair<std::uint16_t, std::uint16_t>, std::uint32_t> idOffsets;
  for (const auto& [type, ids] : types) {
    typeOffsets[type] = next;
    next += 16 + 8 * static_cast<std::uint32_t>(ids.size());
  }
  for (const auto& [type, ids] : types) {
    for (const auto& [id, languages] : ids) {
      idOffsets[{type, id}] = next;
      next += 16 + 8 * static_cast<std::uint32_t>(languages.size());
    }
  }
  std::uint32_t dataEntry = next;
  std::uint32_t dataCount = 0;
  for (const auto& [type, ids] : types) {
    for (const auto& [id, languages] : ids) dataCount += static_cast<std::uint32_t>(languages.size());
  }
  std::uint32_t data = dataEntry + 16 * dataCount;

  constexpr std::uint32_t kSubdirectory = 0x80000000;
  PutDirectory(tree, 0, types, [&](std::uint16_t type, const Ids&) { return kSubdirectory | typeOffsets[type]; });
  for (const auto& [type, ids] : types) {
    const std::uint16_t t = type;
    PutDirectory(tree, typeOffsets[type], ids, [&](std::uint16_t id, const Languages&) {
      return kSubdirectory | idOffsets[{t, id}];
    });
    for (const auto& [id, languages] : ids) {
      PutDirectory(tree, idOffsets[{type, id}], languages, [&](std::uint16_t, const std::vector<std::uint8_t>* bytes) {
        const std::uint32_t entry = dataEntry;
        Put(tree, entry, sectionRva + data, 4);
        Put(tree, entry + 4, static_cast<std::uint32_t>(bytes->size()), 4);
        if (tree.size() < data + bytes->size()) tree.resize(data + bytes->size());
        std::copy(bytes->begin(), bytes->end(), tree.begin() + data);
        data += (static_cast<std::uint32_t>(bytes->size()) + 7) & ~7u;
        dataEntry += 16;
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
  image[0] = 'M';
  image[1] = 'Z';
  Put(image, 0x3C, kHeadersOffset, 4);
  Put(image, kHeadersOffset, 0x00004550, 4);  // "PE\0\0"
  const std::uint32_t coff = kHeadersOffset + 4;
  Put(image, coff, plus ? 0x8664 : 0x14C, 2);
  Put(image, coff + 2, resources.empty() ? 0 : 1, 2);
  Put(image, coff + 16, optionalHeaderSize, 2);
  const std::uint32_t optional = coff + 20;
  Put(image, optional, plus ? 0x20B : 0x10B, 2);
  Put(image, optional + 32, 0x1000, 4);          // section alignment
  Put(image, optional + 36, 0x200, 4);           // file alignment
  Put(image, optional + 60, kSectionOffset, 4);  // size of headers
  const std::uint32_t directoryCount = optional + (plus ? 108 : 92);
  Put(image, directoryCount, 16, 4);
  if (resources.empty()) return image;

  Types types;
  for (const PeResource& resource : resources) types[resource.type][resource.id][resource.language] = &resource.data;
  const std::vector<std::uint8_t> tree = MakeResourceTree(types, sectionRva);
  const std::uint32_t rawSize = (static_cast<std::uint32_t>(tree.size()) + 0x1FF) & ~0x1FFu;

  Put(image, directoryCount + 4 + 8 * 2, sectionRva, 4);  // the resource directory
  Put(image, directoryCount + 4 + 8 * 2 + 4, static_cast<std::uint32_t>(tree.size()), 4);
  const std::uint32_t section = optional + optionalHeaderSize;
  const char name[8] = {'.', 'r', 's', 'r', 'c'};
  std::copy(name, name + 8, image.begin() + section);
  Put(image, section + 8, static_cast<std::uint32_t>(tree.size()), 4);
  Put(image, section + 12, sectionRva, 4);
  Put(image, section + 16, rawSize, 4);
  Put(image, section + 20, kSectionOffset, 4);
  Put(image, section + 36, 0x40000040, 4);  // initialized data, readable
  image.insert(image.end(), tree.begin(), tree.end());
  image.resize(kSectionOffset + rawSize);
  return image;
}

}  // namespace qvn::testing
