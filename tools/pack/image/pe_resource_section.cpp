#include "tools/pack/image/pe_resource_section.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "base/byte_order.h"
#include "base/little_endian_field.h"
#include "base/little_endian_view.h"
#include "tools/pack/image/pe_image.h"

namespace qvn::pack {
namespace {

// Where each resource's bytes start in the section.
constexpr std::uint32_t kDataAlignment = 8;

std::uint32_t AlignUp32(std::uint32_t value, std::uint32_t alignment) {
  return static_cast<std::uint32_t>(AlignUp(value, alignment));
}

bool PlaceBefore(const PeResource& a, const PeResource& b) {
  if (a.type != b.type) return ResourceNameBefore(a.type, b.type);
  if (a.name != b.name) return ResourceNameBefore(a.name, b.name);
  return a.language < b.language;
}

// One directory of the tree: its entries' names and, for each, the index of
// the child directory (or, at the language level, of the resource).
struct Directory {
  std::vector<ResourceName> names;
  std::vector<std::size_t> children;
};

class SectionWriter {
 public:
  SectionWriter(const std::vector<PeResource>& resources, std::uint32_t sectionRva)
      : resources_(resources), sectionRva_(sectionRva) {}

  // Returns the section's size before its padding.
  std::uint32_t Write(std::uint32_t fileAlignment, ImagePieces& out) {
    BuildTree();
    const std::uint32_t end = LayOut();
    out.Append(tree_);
    std::uint64_t written = tree_.size();
    for (std::size_t i = 0; i < resources_.size(); ++i) {
      const std::span<const std::uint8_t> bytes = resources_[i].bytes;
      out.AppendZeros(dataOffsets_[i] - written);
      if (bytes.size() >= kBorrowedResourceSize) {
        out.Borrow(bytes);
      } else {
        out.Append(bytes);
      }
      written = dataOffsets_[i] + bytes.size();
    }
    const std::uint32_t size = AlignUp32(end, kDataAlignment);
    out.AppendZeros(AlignUp(size, fileAlignment) - written);
    return size;
  }

 private:
  // Directory 0 is the root, then the type directories, then the name
  // directories; resources are sorted, so each level comes out sorted.
  void BuildTree() {
    directories_.push_back({});
    std::vector<std::size_t> nameLevel;
    for (std::size_t i = 0; i < resources_.size(); ++i) {
      const PeResource& resource = resources_[i];
      Directory& root = directories_[0];
      if (root.names.empty() || root.names.back() != resource.type) {
        root.names.push_back(resource.type);
        root.children.push_back(directories_.size());
        directories_.push_back({});
      }
      Directory& type = directories_[directories_[0].children.back()];
      if (type.names.empty() || type.names.back() != resource.name) {
        type.names.push_back(resource.name);
        type.children.push_back(nameLevel.size());
        nameLevel.push_back(i);
      }
    }
    // The name directories follow all type directories.
    firstNameDirectory_ = directories_.size();
    for (std::size_t t = 1; t < firstNameDirectory_; ++t) {
      for (std::size_t& child : directories_[t].children) child += firstNameDirectory_;
    }
    for (std::size_t n = 0; n < nameLevel.size(); ++n) {
      Directory languages;
      const std::size_t end = n + 1 < nameLevel.size() ? nameLevel[n + 1] : resources_.size();
      for (std::size_t i = nameLevel[n]; i < end; ++i) {
        languages.names.emplace_back(resources_[i].language);
        languages.children.push_back(i);
      }
      directories_.push_back(std::move(languages));
    }
  }

  // Places the directories, data entries, names and each resource's bytes,
  // and writes all but the bytes into tree_. Returns where the last
  // resource's bytes end.
  std::uint32_t LayOut() {
    std::uint32_t offset = 0;
    for (const Directory& directory : directories_) {
      directoryOffsets_.push_back(offset);
      offset += kResourceDirectoryHeaderSize +
                kResourceDirectoryEntrySize * static_cast<std::uint32_t>(directory.names.size());
    }
    const std::uint32_t dataEntries = offset;
    offset += kResourceDataEntrySize * static_cast<std::uint32_t>(resources_.size());
    for (const Directory& directory : directories_) {
      for (const ResourceName& name : directory.names) {
        if (name.index() != 1 || nameOffsets_.count(std::get<std::u16string>(name))) continue;
        nameOffsets_[std::get<std::u16string>(name)] = offset;
        offset += 2 + 2 * static_cast<std::uint32_t>(std::get<std::u16string>(name).size());
      }
    }
    tree_.resize(offset);
    for (const auto& [name, at] : nameOffsets_) PutName(name, at);
    for (std::size_t i = 0; i < resources_.size(); ++i) {
      offset = AlignUp32(offset, kDataAlignment);
      dataOffsets_.push_back(offset);
      PutDataEntry(resources_[i], dataEntries + kResourceDataEntrySize * static_cast<std::uint32_t>(i), offset);
      offset += static_cast<std::uint32_t>(resources_[i].bytes.size());
    }
    for (std::size_t d = 0; d < directories_.size(); ++d) PutDirectory(d, dataEntries);
    return offset;
  }

  void PutDirectory(std::size_t index, std::uint32_t dataEntries) {
    const Directory& directory = directories_[index];
    const std::uint64_t at = directoryOffsets_[index];
    const bool languageLevel = index >= firstNameDirectory_;
    const auto named = static_cast<std::size_t>(std::count_if(
        directory.names.begin(), directory.names.end(), [](const ResourceName& name) { return name.index() == 1; }));
    PutField(tree_, at, kResourceCharacteristics, 0);
    PutField(tree_, at, kResourceTimeDateStamp, 0);  // none, for the same bytes every time
    PutField(tree_, at, kResourceMajorVersion, 0);
    PutField(tree_, at, kResourceMinorVersion, 0);
    PutField(tree_, at, kResourceNamedEntryCount, static_cast<std::uint16_t>(named));
    PutField(tree_, at, kResourceIdEntryCount, static_cast<std::uint16_t>(directory.names.size() - named));
    for (std::size_t e = 0; e < directory.names.size(); ++e) {
      const std::uint64_t entry =
          at + kResourceDirectoryHeaderSize + kResourceDirectoryEntrySize * static_cast<std::uint32_t>(e);
      const ResourceName& name = directory.names[e];
      const std::uint32_t nameField = name.index() == 1
                                          ? kResourceNamedEntryFlag | nameOffsets_.at(std::get<std::u16string>(name))
                                          : std::get<std::uint16_t>(name);
      const std::uint32_t child = static_cast<std::uint32_t>(directory.children[e]);
      const std::uint32_t target = languageLevel ? dataEntries + kResourceDataEntrySize * child
                                                 : kResourceSubdirectoryFlag | directoryOffsets_[child];
      PutField(tree_, entry, kResourceEntryName, nameField);
      PutField(tree_, entry, kResourceEntryTarget, target);
    }
  }

  void PutName(const std::u16string& name, std::uint32_t at) {
    PutLittleEndian(tree_, at, static_cast<std::uint32_t>(name.size()), 2);
    for (std::size_t i = 0; i < name.size(); ++i) PutLittleEndian(tree_, at + 2 + 2 * i, name[i], 2);
  }

  void PutDataEntry(const PeResource& resource, std::uint32_t entry, std::uint32_t offset) {
    PutField(tree_, entry, kResourceDataRva, sectionRva_ + offset);
    PutField(tree_, entry, kResourceDataSize, static_cast<std::uint32_t>(resource.bytes.size()));
    PutField(tree_, entry, kResourceDataCodePage, resource.codePage);
    PutField(tree_, entry, kResourceDataReserved, 0);
  }

  const std::vector<PeResource>& resources_;
  std::uint32_t sectionRva_;
  std::vector<Directory> directories_;
  std::size_t firstNameDirectory_ = 0;
  std::vector<std::uint32_t> directoryOffsets_;
  std::map<std::u16string, std::uint32_t> nameOffsets_;
  std::vector<std::uint32_t> dataOffsets_;
  std::vector<std::uint8_t> tree_;  // the directories, data entries and names
};

}  // namespace

std::uint32_t AppendResourceSection(std::vector<PeResource> resources, std::uint32_t sectionRva,
                                    std::uint32_t fileAlignment, ImagePieces& out) {
  // Later entries win: keep the last of each place, then sort.
  std::vector<PeResource> unique;
  for (auto it = resources.rbegin(); it != resources.rend(); ++it) {
    if (std::none_of(unique.begin(), unique.end(), [&](const PeResource& kept) { return kept.SamePlace(*it); })) {
      unique.push_back(std::move(*it));
    }
  }
  std::stable_sort(unique.begin(), unique.end(), PlaceBefore);
  std::uint64_t total = 0;
  for (const PeResource& resource : unique) total += resource.bytes.size() + kDataAlignment;
  if (total > 0xFFFF0000u) throw std::length_error("resources do not fit in one section");
  return SectionWriter(unique, sectionRva).Write(fileAlignment, out);
}

}  // namespace qvn::pack
