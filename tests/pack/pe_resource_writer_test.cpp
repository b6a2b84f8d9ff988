#include "tools/pack/image/pe_resource_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "base/little_endian_field.h"
#include "tests/pack/minimal_pe_image.h"
#include "tools/pack/image/pe_image.h"
#include "tools/pack/image/pe_resource_reader.h"
#include "tools/pack/image/pe_resource_section.h"

namespace qvn::pack {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::MakePeImage;
using testing::PeKind;

// Where MakePeImage puts the PE32+ headers.
constexpr std::uint64_t kPeHeader = 0x40;
constexpr std::uint64_t kCoff = kPeHeader + kPeSignatureSize;
constexpr std::uint64_t kOptional = kCoff + kCoffHeaderSize;
constexpr std::uint64_t kSectionTable = kOptional + 240;
constexpr std::uint64_t kDirectories = kOptional + kNumberOfRvaAndSizesPe32Plus.End();

std::uint64_t SectionHeader(std::uint64_t index) { return kSectionTable + kSectionHeaderSize * index; }
std::uint64_t Directory(std::size_t index) { return kDirectories + kDataDirectorySize * index; }

const Bytes kManifest = {'<', 'a', 's', 's', 'e', 'm', 'b', 'l', 'y', '/', '>'};
const Bytes kOldPayload = {'o', 'l', 'd'};
const Bytes kEnglishText(5, 'e');

// `field` of the structure at `structure`.
template <typename T>
std::uint32_t Field(const Bytes& image, std::uint64_t structure, LeField<T> field) {
  return LoadField(image.data() + structure, field);
}

template <typename T>
Bytes Patched(Bytes image, std::uint64_t structure, LeField<T> field, std::type_identity_t<T> value) {
  PutField(image, structure, field, value);
  return image;
}

// The stub as the linker leaves it: resources, then a last section of
// relocations, so that the new resource section has to follow. Other
// addresses give the same file with another order in memory.
Bytes StubImage(std::uint32_t resourceRva = 0x1000, std::uint32_t relocationRva = 0x2000) {
  Bytes image = MakePeImage({{24, 1, 0, kManifest}, {10, 101, 0, kOldPayload}, {6, 7, 0x409, kEnglishText}},
                            PeKind::kPe32Plus, resourceRva);
  const std::uint64_t header = SectionHeader(1);
  const char name[kSectionNameSize] = {'.', 'r', 'e', 'l', 'o', 'c'};
  std::copy(name, name + kSectionNameSize, image.begin() + static_cast<std::ptrdiff_t>(header + kSectionName));
  PutField(image, header, kSectionVirtualSize, 0x10);
  PutField(image, header, kSectionVirtualAddress, relocationRva);
  PutField(image, header, kSectionSizeOfRawData, 0x200);
  PutField(image, header, kSectionPointerToRawData, static_cast<std::uint32_t>(image.size()));
  PutField(image, kCoff, kCoffNumberOfSections, 2);
  image.resize(image.size() + 0x200, 0xEE);
  return image;
}

PeResource RcData(std::uint16_t id, const Bytes& bytes) {
  return {kResourceTypeRcData, id, kLanguageNeutral, 0, bytes};
}

std::string Text(std::span<const std::uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

// "type/name/language" -> bytes of every resource the image holds.
std::map<std::string, std::string> ResourcesOf(const Bytes& image) {
  std::map<std::string, std::string> found;
  for (const PeResource& resource : ReadPeResources(image)) {
    found[std::to_string(std::get<std::uint16_t>(resource.type)) + "/" +
          std::to_string(std::get<std::uint16_t>(resource.name)) + "/" + std::to_string(resource.language)] =
        Text(resource.bytes);
  }
  return found;
}

TEST(PeResourceWriter, RefusesImagesItCannotRewriteSafely) {
  const Bytes stub = StubImage();
  Bytes appended = stub;
  appended.push_back(0);
  struct Case {
    std::string label;
    Bytes image;
    std::string message;  // a part of the refusal
  };
  const std::vector<Case> cases = {
      {"a PE32 image", MakePeImage({{24, 1, 0, kManifest}}, PeKind::kPe32), "not a PE32+ x64 image"},
      {"a PE32+ image for ARM64", Patched(stub, kCoff, kCoffMachine, 0xAA64), "not a PE32+ x64 image"},
      {"a signed image", Patched(stub, Directory(kCertificateDirectory), kDataDirectorySizeField, 0x100),
       "certificate table"},
      {"data after the last section", appended, "1 bytes after its last section"},
      {"headers without room for a section",
       Patched(stub, kOptional, kSizeOfHeaders, static_cast<std::uint32_t>(SectionHeader(2))), "no room"},
      {"a cut section table",
       Bytes(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(SectionHeader(0) + kSectionHeaderSize / 2)),
       "not a well-formed PE image"},
      {"no PE signature", Patched(stub, kPeHeader, kPeSignatureField, 0x1234), "not a well-formed PE image"},
      {"resources last in memory, not in the file", StubImage(0x2000, 0x1000),
       "last one by address but not in the file"},
      {"headers over the first section's data", Patched(stub, kOptional, kSizeOfHeaders, 0x400),
       "reach into the first section"},
      {"headers over the resource section's data",
       Patched(MakePeImage({{24, 1, 0, kManifest}}), kOptional, kSizeOfHeaders, 0x400), "reach into the first section"},
  };
  for (const Case& c : cases) {
    try {
      WriteResources(c.image, {});
      ADD_FAILURE() << c.label << ": not refused";
    } catch (const PeRewriteRefused& refusal) {
      EXPECT_NE(std::string(refusal.what()).find(c.message), std::string::npos) << c.label << ": " << refusal.what();
    }
  }
}

TEST(PeResourceWriter, KeepsEveryResourceItDoesNotReplace) {
  const Bytes payload(3000, 0x5A);
  const Bytes digest(32, 0xD1);
  const Bytes stub = StubImage();
  const std::vector<PeResource> table = {RcData(102, digest), RcData(101, payload)};
  const Bytes once = WriteResources(stub, table);
  const std::map<std::string, std::string> expected = {{"6/7/1033", Text(kEnglishText)},
                                                       {"10/101/0", Text(payload)},
                                                       {"10/102/0", Text(digest)},
                                                       {"24/1/0", Text(kManifest)}};
  struct Case {
    std::string label;
    Bytes image;
  };
  const std::vector<Case> cases = {
      {"written into the stub", once},
      {"written again into the result", WriteResources(once, table)},
      {"the table in another order", WriteResources(stub, std::vector<PeResource>{table[1], table[0]})},
  };
  for (const Case& c : cases) EXPECT_EQ(ResourcesOf(c.image), expected) << c.label;
  // The result's resource section is its last one, so writing again
  // replaces it instead of adding another; the same inputs give the same
  // bytes.
  EXPECT_EQ(cases[1].image, once);
  EXPECT_EQ(cases[2].image, once);
  // What lay before the new section is unchanged, apart from the headers.
  EXPECT_TRUE(std::equal(stub.begin() + 0x200, stub.end(), once.begin() + 0x200));
}

TEST(PeResourceWriter, HeadersDescribeTheNewLastSection) {
  const Bytes stub = StubImage();
  const Bytes payload(5000, 0x33);
  const Bytes image = WriteResources(stub, std::vector<PeResource>{RcData(101, payload)});
  const std::uint64_t header = SectionHeader(2);
  const std::uint32_t rva = Field(image, header, kSectionVirtualAddress);
  const std::uint32_t virtualSize = Field(image, header, kSectionVirtualSize);
  const std::uint32_t rawSize = Field(image, header, kSectionSizeOfRawData);
  struct Case {
    std::string label;
    std::uint64_t actual;
    std::uint64_t expected;
  };
  const std::vector<Case> cases = {
      {"section count", Field(image, kCoff, kCoffNumberOfSections), 3},
      {"section address after .reloc", rva, 0x3000},
      {"section data at the old end of the file", Field(image, header, kSectionPointerToRawData), stub.size()},
      {"raw size rounded to the file alignment", rawSize % 0x200, 0},
      {"the file ends with the section", image.size(), stub.size() + rawSize},
      {"resource directory address", Field(image, Directory(kResourceDirectory), kDataDirectoryRva), rva},
      {"resource directory size", Field(image, Directory(kResourceDirectory), kDataDirectorySizeField), virtualSize},
      {"size of image", Field(image, kOptional, kSizeOfImage), (rva + virtualSize + 0xFFF) & ~0xFFFu},
      {"size of initialized data", Field(image, kOptional, kSizeOfInitializedData),
       Field(stub, kOptional, kSizeOfInitializedData) + rawSize},
      {"file alignment kept", Field(image, kOptional, kFileAlignment), Field(stub, kOptional, kFileAlignment)},
      {"section alignment kept", Field(image, kOptional, kSectionAlignment), Field(stub, kOptional, kSectionAlignment)},
      {"checksum", Field(image, kOptional, kCheckSum), ComputePeChecksum(image, kOptional + kCheckSum.offset)},
      {"checksum field found", PeChecksumOffset(image), kOptional + kCheckSum.offset},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.label;
}

TEST(PeResourceWriter, PlacesItsSectionAfterAnEmptyLastOne) {
  Bytes stub = StubImage();
  const std::uint64_t relocation = SectionHeader(1);
  for (LeField<std::uint32_t> field : {kSectionVirtualSize, kSectionSizeOfRawData, kSectionPointerToRawData}) {
    PutField(stub, relocation, field, 0);
  }
  stub.resize(stub.size() - 0x200);
  const Bytes once = WriteResources(stub, std::vector<PeResource>{RcData(101, kOldPayload)});
  EXPECT_EQ(Field(once, SectionHeader(2), kSectionVirtualAddress), 0x3000u);
  EXPECT_EQ(WriteResources(once, {}), once);  // its own output stays rewritable
}

// What each directory of the written tree declares, read from the bytes
// without the reader: "path" -> named and numbered entry counts. Named
// entries must be the first ones and carry the high bit.
using DeclaredCounts = std::map<std::string, std::pair<std::uint32_t, std::uint32_t>>;

void ReadDirectory(const Bytes& image, std::uint64_t root, std::uint64_t directory, const std::string& path,
                   DeclaredCounts& counts) {
  const std::uint32_t named = Field(image, directory, kResourceNamedEntryCount);
  const std::uint32_t numbered = Field(image, directory, kResourceIdEntryCount);
  counts[path] = {named, numbered};
  for (std::uint32_t i = 0; i < named + numbered; ++i) {
    const std::uint64_t entry = directory + kResourceDirectoryHeaderSize + kResourceDirectoryEntrySize * i;
    const std::uint32_t name = Field(image, entry, kResourceEntryName);
    const std::uint32_t value = Field(image, entry, kResourceEntryTarget);
    EXPECT_EQ((name & 0x80000000) != 0, i < named) << path << " entry " << i;
    std::string label;
    if (name & 0x80000000) {
      const std::uint64_t text = root + (name & 0x7FFFFFFF);
      for (std::uint32_t k = 0; k < LoadLe16(image.data() + text); ++k)
        label += static_cast<char>(image[text + 2 + 2 * k]);
    } else {
      label = std::to_string(name);
    }
    if (value & 0x80000000) ReadDirectory(image, root, root + (value & 0x7FFFFFFF), path + "/" += label, counts);
  }
}

TEST(PeResourceWriter, DirectoriesCountTheirNamedAndNumberedEntries) {
  const Bytes none;
  const std::vector<PeResource> table = {{u"TEXT", u"B", 0, 0, none},
                                         {u"TEXT", std::uint16_t{7}, 0, 0, none},
                                         {u"TEXT", u"A", 0x409, 0, none},
                                         {kResourceTypeRcData, u"Z", 0, 0, none}};
  const Bytes image = WriteResources(StubImage(), table);
  const std::uint64_t header = SectionHeader(2);
  ASSERT_EQ(Field(image, Directory(kResourceDirectory), kDataDirectoryRva),
            Field(image, header, kSectionVirtualAddress));  // the tree is in the new section
  const std::uint64_t root = Field(image, header, kSectionPointerToRawData);
  DeclaredCounts counts;
  ReadDirectory(image, root, root, "", counts);
  // The stub holds 6/7/1033, 10/101/0 and 24/1/0.
  const DeclaredCounts expected = {{"", {1, 3}},     {"/TEXT", {2, 1}},   {"/6", {0, 1}},      {"/10", {1, 1}},
                                   {"/24", {0, 1}},  {"/TEXT/A", {0, 1}}, {"/TEXT/B", {0, 1}}, {"/TEXT/7", {0, 1}},
                                   {"/6/7", {0, 1}}, {"/10/Z", {0, 1}},   {"/10/101", {0, 1}}, {"/24/1", {0, 1}}};
  EXPECT_EQ(counts, expected);
}

// Bytes whose 16-bit words change when read from an odd offset.
Bytes Varied(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 % 251);
  return bytes;
}

TEST(PeResourceWriter, PiecesBorrowLargeResourcesAndJoinToTheImage) {
  const Bytes stub = StubImage();
  const Bytes oddLarge = Varied(kBorrowedResourceSize + 1);
  const Bytes evenLarge = Varied(kBorrowedResourceSize);
  const Bytes justSmall = Varied(kBorrowedResourceSize - 1);
  const Bytes odd = Varied(5);
  struct Case {
    std::string label;
    std::vector<PeResource> table;
    std::vector<const Bytes*> borrowed;
    bool pieceAtOddOffset;
  };
  const std::vector<Case> cases = {
      {"a large payload of odd size, then its digest", {RcData(101, oddLarge), RcData(102, odd)}, {&oddLarge}, true},
      {"a large one between small ones",
       {{kResourceTypeIcon, std::uint16_t{1}, 0, 0, odd}, RcData(101, evenLarge), RcData(103, odd)},
       {&evenLarge},
       false},
      {"two large ones", {RcData(101, oddLarge), RcData(102, evenLarge)}, {&oddLarge, &evenLarge}, true},
      {"nothing large", {RcData(101, justSmall), RcData(102, odd)}, {}, false},
  };
  for (const Case& c : cases) {
    const ImagePieces pieces = WriteResourcePieces(stub, c.table);
    const Bytes image = pieces.Join();
    std::vector<const std::uint8_t*> views;
    bool oddStart = false;
    std::uint64_t at = 0;
    for (const std::span<const std::uint8_t> piece : pieces.Spans()) {
      views.push_back(piece.data());
      oddStart = oddStart || at % 2 != 0;
      at += piece.size();
    }
    EXPECT_EQ(at, image.size()) << c.label;
    EXPECT_EQ(pieces.size(), image.size()) << c.label;
    EXPECT_EQ(oddStart, c.pieceAtOddOffset) << c.label;
    for (const PeResource& resource : c.table) {
      const bool viewed = std::find(views.begin(), views.end(), resource.bytes.data()) != views.end();
      const bool large = std::any_of(c.borrowed.begin(), c.borrowed.end(),
                                     [&](const Bytes* bytes) { return bytes->data() == resource.bytes.data(); });
      EXPECT_EQ(viewed, large) << c.label << ": " << resource.bytes.size() << " bytes";
    }
    EXPECT_EQ(Field(image, kOptional, kCheckSum), ComputePeChecksum(image, kOptional + kCheckSum.offset)) << c.label;
    std::map<std::string, std::string> expected = ResourcesOf(stub);
    for (const PeResource& resource : c.table) {
      expected[std::to_string(std::get<std::uint16_t>(resource.type)) + "/" +
               std::to_string(std::get<std::uint16_t>(resource.name)) + "/0"] = Text(resource.bytes);
    }
    EXPECT_EQ(ResourcesOf(image), expected) << c.label;
  }
}

TEST(PeChecksum, SumsWordsWithCarriesSkipsItsFieldAndAddsTheLength) {
  struct Case {
    std::string label;
    Bytes bytes;
    std::uint64_t checksumOffset;
    std::uint32_t expected;
  };
  const std::vector<Case> cases = {
      {"two words", {1, 0, 2, 0}, 100, 3 + 4},
      {"a carry folds back", {0xFF, 0xFF, 0x02, 0x00}, 100, 2 + 4},
      {"the first fold carries again", {0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00}, 100, 1 + 6},
      {"an odd last byte is a low byte", {1, 0, 5}, 100, 6 + 3},
      {"the checksum field counts as zero", {1, 0, 9, 9, 9, 9, 2, 0}, 2, 3 + 8},
      {"high bytes", {0x00, 0x12, 0x00, 0x34}, 100, 0x4600 + 4},
      {"empty", {}, 0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ComputePeChecksum(c.bytes, c.checksumOffset), c.expected) << c.label;
}

}  // namespace
}  // namespace qvn::pack
