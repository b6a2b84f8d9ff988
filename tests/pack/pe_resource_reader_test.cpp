#include "tools/pack/image/pe_resource_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/pack/minimal_pe_image.h"

namespace qvn::pack {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::MakePeImage;
using testing::PeKind;
using testing::PeResource;

constexpr std::uint16_t kRcData = 10;
constexpr std::uint16_t kNeutral = 0;
constexpr std::uint16_t kEnglish = 0x409;

const Bytes kPayload = {'Q', 'V', 'N', 'P', 'O', 'R', 'T', '1', 1, 2, 3};
const Bytes kDigest(32, 0xD7);
const Bytes kEnglishPayload = {'e', 'n'};

const std::string kNotFound = "not found";
const std::string kMalformed = "malformed";

std::string Outcome(const Bytes& image, std::uint16_t id) {
  try {
    const auto found = FindRcDataResource(image, id);
    return found ? std::string(found->begin(), found->end()) : kNotFound;
  } catch (const PeFormatError&) {
    return kMalformed;
  }
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Bytes Cut(Bytes bytes, std::size_t length) {
  bytes.resize(length);
  return bytes;
}

Bytes Patched(Bytes bytes, std::size_t offset, std::uint8_t value) {
  bytes[offset] = value;
  return bytes;
}

TEST(PeResourceReader, FindsTheResourceThatTheLauncherLoads) {
  const std::vector<PeResource> launcher = {
      {kRcData, 101, kNeutral, kPayload}, {kRcData, 102, kNeutral, kDigest}, {24, 1, kNeutral, {'<', 'x', '>'}}};
  const Bytes pe64 = MakePeImage(launcher);
  const Bytes pe32 = MakePeImage(launcher, PeKind::kPe32);
  struct Case {
    std::string label;
    Bytes image;
    std::uint16_t id;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"payload in PE32+", pe64, 101, Text(kPayload)},
      {"digest in PE32+", pe64, 102, Text(kDigest)},
      {"payload in PE32", pe32, 101, Text(kPayload)},
      {"digest in PE32", pe32, 102, Text(kDigest)},
      {"an id that is absent", pe64, 103, kNotFound},
      {"the id under another type only", MakePeImage({{6, 101, kNeutral, kPayload}}), 101, kNotFound},
      {"no resources at all", MakePeImage({}), 101, kNotFound},
      {"an empty resource", MakePeImage({{kRcData, 101, kNeutral, {}}}), 101, ""},
      {"only another language", MakePeImage({{kRcData, 101, kEnglish, kEnglishPayload}}), 101, "en"},
      {"neutral before another language",
       MakePeImage({{kRcData, 101, kEnglish, kEnglishPayload}, {kRcData, 101, kNeutral, kPayload}}), 101,
       Text(kPayload)},
  };
  for (const Case& c : cases) EXPECT_EQ(Outcome(c.image, c.id), c.expected) << c.label;
}

TEST(PeResourceReader, RefusesImagesThatDoNotHoldTogether) {
  const Bytes image = MakePeImage({{kRcData, 101, kNeutral, kPayload}});
  const std::size_t peHeader = 0x40;
  struct Case {
    std::string label;
    Bytes image;
  };
  const std::vector<Case> cases = {
      {"only the DOS signature", {'M', 'Z'}},
      {"cut inside the DOS header", Cut(image, 0x30)},
      {"PE header offset past the end", Patched(image, 0x3D, 0x7F)},
      {"no PE signature", Patched(image, peHeader, 'X')},
      {"unknown optional header kind", Patched(image, peHeader + 24, 0x0C)},
      {"cut inside the section table", Cut(image, 0x150)},
      {"cut inside the resource data", Cut(image, 0x200 + 90)},
      {"resource address outside every section", Patched(image, peHeader + 24 + 112 + 17, 0x70)},
  };
  for (const Case& c : cases) EXPECT_EQ(Outcome(c.image, 101), kMalformed) << c.label;
}

TEST(PeResourceReader, TellsExecutablesFromOtherFiles) {
  const std::vector<std::pair<Bytes, bool>> cases = {
      {MakePeImage({}), true}, {{'M', 'Z'}, true}, {{'M'}, false}, {{}, false}, {kPayload, false}, {{'Z', 'M'}, false}};
  for (const auto& [bytes, expected] : cases) EXPECT_EQ(LooksLikePeImage(bytes), expected) << Text(bytes);
}

}  // namespace
}  // namespace qvn::pack
