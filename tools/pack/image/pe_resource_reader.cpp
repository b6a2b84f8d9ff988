#include "tools/pack/image/pe_resource_reader.h"

namespace qvn::pack {
namespace {

// More resources than any launcher holds; bounds the walk of a tree whose
// directories point at one another.
constexpr std::size_t kMaxResources = 1 << 16;
// A tree of that many resources has at most one entry per resource at each
// of its three levels. Directories that share their children can make far
// more out of a small file: N entries pointing at one directory of N
// entries is N² visits for 16 N bytes.
constexpr std::size_t kMaxEntries = 3 * kMaxResources;

class ResourceTreeWalk {
 public:
  ResourceTreeWalk(const PeFileView& file, const PeHeaders& headers, std::uint32_t rootRva)
      : file_(file), headers_(headers), root_(FileOffsetOfRva(headers, file, rootRva, kResourceDirectoryHeaderSize)) {}

  std::vector<PeResource> Walk() {
    PeResource place;
    ForEachEntry(root_, [&](const ResourceName& type, std::uint32_t typeValue) {
      place.type = type;
      ForEachEntry(Subdirectory(typeValue), [&](const ResourceName& name, std::uint32_t nameValue) {
        place.name = name;
        ForEachEntry(Subdirectory(nameValue), [&](const ResourceName& language, std::uint32_t dataValue) {
          if (language.index() != 0) throw PeFormatError("resource tree names a language with a string");
          if ((dataValue & kResourceSubdirectoryFlag) != 0)
            throw PeFormatError("resource tree has a directory where data belongs");
          place.language = std::get<std::uint16_t>(language);
          AddData(place, root_ + dataValue);
        });
      });
    });
    return std::move(resources_);
  }

 private:
  template <typename Visit>
  void ForEachEntry(std::uint64_t directory, Visit visit) {
    const std::uint32_t namedCount = file_.Get(directory, kResourceNamedEntryCount, "resource directory");
    const std::uint32_t idCount = file_.Get(directory, kResourceIdEntryCount, "resource directory");
    entries_ += namedCount + idCount;
    if (entries_ > kMaxEntries) throw PeFormatError("resource tree has too many entries");
    for (std::uint32_t i = 0; i < namedCount + idCount; ++i) {
      const std::uint64_t entry =
          directory + kResourceDirectoryHeaderSize + std::uint64_t{kResourceDirectoryEntrySize} * i;
      const std::uint32_t name = file_.Get(entry, kResourceEntryName, "resource directory entry");
      visit(EntryName(name), file_.Get(entry, kResourceEntryTarget, "resource directory entry"));
    }
  }

  ResourceName EntryName(std::uint32_t name) const {
    if ((name & kResourceNamedEntryFlag) == 0) {
      if (name > 0xFFFF) throw PeFormatError("resource identifier out of range");
      return static_cast<std::uint16_t>(name);
    }
    const std::uint64_t text = root_ + (name & ~kResourceNamedEntryFlag);
    const std::uint16_t length = file_.U16(text, "resource name");
    std::u16string result;
    for (std::uint16_t i = 0; i < length; ++i)
      result += static_cast<char16_t>(file_.U16(text + 2 + 2ull * i, "resource name"));
    return result;
  }

  std::uint64_t Subdirectory(std::uint32_t entryValue) const {
    if ((entryValue & kResourceSubdirectoryFlag) == 0)
      throw PeFormatError("resource tree has data where a directory belongs");
    return root_ + (entryValue & ~kResourceSubdirectoryFlag);
  }

  void AddData(PeResource place, std::uint64_t dataEntry) {
    if (resources_.size() == kMaxResources) throw PeFormatError("resource tree holds too many resources");
    const std::uint32_t rva = file_.Get(dataEntry, kResourceDataRva, "resource data entry");
    const std::uint32_t size = file_.Get(dataEntry, kResourceDataSize, "resource data entry");
    place.codePage = file_.Get(dataEntry, kResourceDataCodePage, "resource data entry");
    place.bytes = file_.Slice(FileOffsetOfRva(headers_, file_, rva, size), size, "resource data");
    resources_.push_back(std::move(place));
  }

  const PeFileView& file_;
  const PeHeaders& headers_;
  std::uint64_t root_;
  std::vector<PeResource> resources_;
  std::size_t entries_ = 0;
};

}  // namespace

bool LooksLikePeImage(std::span<const std::uint8_t> file) {
  return file.size() >= 2 && file[0] == 'M' && file[1] == 'Z';
}

std::vector<PeResource> ReadPeResources(std::span<const std::uint8_t> bytes) {
  const PeFileView file(bytes);
  const PeHeaders headers = ReadPeHeaders(file);
  const PeDataDirectory directory = headers.Directory(file, kResourceDirectory);
  if (directory.rva == 0) return {};
  return ResourceTreeWalk(file, headers, directory.rva).Walk();
}

std::optional<std::span<const std::uint8_t>> FindRcDataResource(std::span<const std::uint8_t> file, std::uint16_t id) {
  // Languages are sorted by number, so a neutral (0) instance comes first.
  for (const PeResource& resource : ReadPeResources(file)) {
    if (resource.type == ResourceName(kResourceTypeRcData) && resource.name == ResourceName(id)) return resource.bytes;
  }
  return std::nullopt;
}

}  // namespace qvn::pack
