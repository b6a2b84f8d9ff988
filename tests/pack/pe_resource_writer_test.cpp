#include "tools/pack/image/pe_resource_writer.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "tests/pack/minimal_pe_image.h"
#include "tools/pack/image/pe_image.h"
#include "tools/pack/image/pe_resource_reader.h"

namespace qvn::pack {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::MakePeImage;
using testing::PeKind;

constexpr std::uint64_t kPeHeader = 0x40;
constexpr std::uint64_t kCoff = kPeHeader + 4;
constexpr std::uint64_t kOptional = kCoff + 20;
constexpr std::uint64_t kSectionTable = kOptional + 240;

const Bytes kManifest = {'<', 'a', 's', 's', 'e', 'm', 'b', 'l', 'y', '/', '>'};
const Bytes kOldPayload = {'o', 'l', 'd'};
const Bytes kEnglishText(5, 'e');

std::uint32_t Field(const Bytes& image, std::uint64_t offset, int width = 4) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | image[offset + static_cast<std::uint64_t>(i)];
  return value;
}

Bytes Patched(Bytes image, std::uint64_t offset, std::uint32_t value, int width = 4) {
  PutLittleEndian(image, offset, value, width);
  return image;
}

// The stub as the linker leaves it: resources, then a last section of
// relocations, so that the new resource section has to follow. Other
// addresses give the same file with another order in memory.
Bytes StubImage(std::uint32_t resourceRva = 0x1000, std::uint32_t relocationRva = 0x2000) {
  Bytes image = MakePeImage({{24, 1, 0, kManifest}, {10, 101, 0, kOldPayload}, {6, 7, 0x409, kEnglishText}},
                            PeKind::kPe32Plus, resourceRva);
  const std::uint64_t header = kSectionTable + 40;
  const char name[8] = {'.', 'r', 'e', 'l', 'o', 'c'};
  std::copy(name, name + 8, image.begin() + header);
  PutLittleEndian(image, header + 8, 0x10, 4);
  PutLittleEndian(image, header + 12, relocationRva, 4);
  PutLittleEndian(image, header + 16, 0x200, 4);
  PutLittleEndian(image, header + 20, static_cast<std::uint32_t>(image.size()), 4);
  PutLittleEndian(image, kCoff + 2, 2, 2);
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
      {"a PE32+ image for ARM64", Patched(stub, kCoff, 0xAA64, 2), "not a PE32+ x64 image"},
      {"a signed image", Patched(stub, kOptional + 112 + 8 * 4 + 4, 0x100), "certificate table"},
      {"data after the last section", appended, "1 bytes after its last section"},
      {"headers without room for a section", Patched(stub, kOptional + 60, kSectionTable + 2 * 40), "no room"},
      {"a cut section table", Bytes(stub.begin(), stub.begin() + kSectionTable + 20), "not a well-formed PE image"},
      {"no PE signature", Patched(stub, kPeHeader, 0x1234), "not a well-formed PE image"},
      {"resources last in memory, not in the file", StubImage(0x2000, 0x1000),
       "last one by address but not in the file"},
      {"headers over the first section's data", Patched(stub, kOptional + 60, 0x400), "reach into the first section"},
      {"headers over the resource section's data", Patched(MakePeImage({{24, 1, 0, kManifest}}), kOptional + 60, 0x400),
       "reach into the first section"},
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
  const std::uint64_t header = kSectionTable + 2 * 40;
  const std::uint32_t rva = Field(image, header + 12);
  const std::uint32_t virtualSize = Field(image, header + 8);
  const std::uint32_t rawSize = Field(image, header + 16);
  struct Case {
    std::string label;
    std::uint64_t actual;
    std::uint64_t expected;
  };
  const std::vector<Case> cases = {
      {"section count", Field(image, kCoff + 2, 2), 3},
      {"section address after .reloc", rva, 0x3000},
      {"section data at the old end of the file", Field(image, header + 20), stub.size()},
      {"raw size rounded to the file alignment", rawSize % 0x200, 0},
      {"the file ends with the section", image.size(), stub.size() + rawSize},
      {"resource directory address", Field(image, kOptional + 112 + 16), rva},
      {"resource directory size", Field(image, kOptional + 112 + 20), virtualSize},
      {"size of image", Field(image, kOptional + 56), (rva + virtualSize + 0xFFF) & ~0xFFFu},
      {"size of initialized data", Field(image, kOptional + 8), Field(stub, kOptional + 8) + rawSize},
      {"file alignment kept", Field(image, kOptional + 36), Field(stub, kOptional + 36)},
      {"section alignment kept", Field(image, kOptional + 32), Field(stub, kOptional + 32)},
      {"checksum", Field(image, kOptional + 64), ComputePeChecksum(image, kOptional + 64)},
      {"checksum field found", PeChecksumOffset(image), kOptional + 64},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.label;
}

TEST(PeResourceWriter, PlacesItsSectionAfterAnEmptyLastOne) {
  Bytes stub = StubImage();
  const std::uint64_t relocation = kSectionTable + 40;
  for (std::uint64_t field : {relocation + 8, relocation + 16, relocation + 20}) PutLittleEndian(stub, field, 0, 4);
  stub.resize(stub.size() - 0x200);
  const Bytes once = WriteResources(stub, std::vector<PeResource>{RcData(101, kOldPayload)});
  EXPECT_EQ(Field(once, kSectionTable + 2 * 40 + 12), 0x3000u);
  EXPECT_EQ(WriteResources(once, {}), once);  // its own output stays rewritable
}

// What each directory of the written tree declares, read from the bytes
// without the reader: "path" -> named and numbered entry counts. Named
// entries must be the first ones and carry the high bit.
using DeclaredCounts = std::map<std::string, std::pair<std::uint32_t, std::uint32_t>>;

void ReadDirectory(const Bytes& image, std::uint64_t root, std::uint64_t directory, const std::string& path,
                   DeclaredCounts& counts) {
  const std::uint32_t named = Field(image, directory + 12, 2);
  const std::uint32_t numbered = Field(image, directory + 14, 2);
  counts[path] = {named, numbered};
  for (std::uint32_t i = 0; i < named + numbered; ++i) {
    const std::uint32_t name = Field(image, directory + 16 + 8 * i);
    const std::uint32_t value = Field(image, directory + 20 + 8 * i);
    EXPECT_EQ((name & 0x80000000) != 0, i < named) << path << " entry " << i;
    std::string label;
    if (name & 0x80000000) {
      const std::uint64_t text = root + (name & 0x7FFFFFFF);
      for (std::uint32_t k = 0; k < Field(image, text, 2); ++k) label += static_cast<char>(image[text + 2 + 2 * k]);
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
  const std::uint64_t header = kSectionTable + 2 * 40;
  ASSERT_EQ(Field(image, kOptional + 112 + 16), Field(image, header + 12));  // the tree is in the new section
  const std::uint64_t root = Field(image, header + 20);
  DeclaredCounts counts;
  ReadDirectory(image, root, root, "", counts);
  // The stub holds 6/7/1033, 10/101/0 and 24/1/0.
  const DeclaredCounts expected = {{"", {1, 3}},     {"/TEXT", {2, 1}},   {"/6", {0, 1}},      {"/10", {1, 1}},
                                   {"/24", {0, 1}},  {"/TEXT/A", {0, 1}}, {"/TEXT/B", {0, 1}}, {"/TEXT/7", {0, 1}},
                                   {"/6/7", {0, 1}}, {"/10/Z", {0, 1}},   {"/10/101", {0, 1}}, {"/24/1", {0, 1}}};
  EXPECT_EQ(counts, expected);
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
