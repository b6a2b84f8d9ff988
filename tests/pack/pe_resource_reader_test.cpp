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

// A tree whose directories share their children, written over the start
// of the resource section: `n` types, each with the same `n` names, each
// with the same empty language directory; n² entries to visit in 16 n bytes.
Bytes SharedDirectories(std::uint32_t n) {
  const std::uint32_t names = 16 + 8 * n;
  const std::uint32_t empty = names + 16 + 8 * n;
  Bytes image = MakePeImage({{kRcData, 101, kNeutral, Bytes(empty + 16, 0)}});
  const auto put = [&](std::uint32_t at, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
      image[0x200 + at + static_cast<std::uint32_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  for (const auto& [directory, child] : {std::pair{0u, names}, std::pair{names, empty}}) {
    put(directory + 12, 0, 2);
    put(directory + 14, n, 2);
    for (std::uint32_t i = 0; i < n; ++i) {
      put(directory + 16 + 8 * i, i, 4);
      put(directory + 20 + 8 * i, 0x80000000 | child, 4);
    }
  }
  for (std::uint32_t at = empty; at < empty + 16; at += 4) put(at, 0, 4);
  return image;
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
      {"directories that share 600 children", SharedDirectories(600)},
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
