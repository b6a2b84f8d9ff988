// The icon and version resources a launcher carries.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/byte_order.h"
#include "base/little_endian_view.h"
#include "tools/pack/image/icon_file.h"
#include "tools/pack/image/version_resource.h"

namespace qvn::pack {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct IconEntryInFile {
  std::uint8_t width;
  Bytes image;
};

// An .ico with the images one after another behind the directory.
Bytes IconFile(const std::vector<IconEntryInFile>& images, std::uint16_t type = 1) {
  Bytes file;
  AppendLittleEndian(file, 0, 2);
  AppendLittleEndian(file, type, 2);
  AppendLittleEndian(file, static_cast<std::uint32_t>(images.size()), 2);
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (const IconEntryInFile& entry : images) {
    file.insert(file.end(), {entry.width, entry.width, 0, 0});
    AppendLittleEndian(file, 1, 2);
    AppendLittleEndian(file, 32, 2);
    AppendLittleEndian(file, static_cast<std::uint32_t>(entry.image.size()), 4);
    AppendLittleEndian(file, offset, 4);
    offset += static_cast<std::uint32_t>(entry.image.size());
  }
  for (const IconEntryInFile& entry : images) file.insert(file.end(), entry.image.begin(), entry.image.end());
  return file;
}

TEST(IconFile, KeepsEveryImageAndGroupsThemByResourceId) {
  const Bytes file = IconFile({{16, Bytes(40, 1)}, {32, Bytes(90, 2)}, {0, Bytes(7, 3)}});
  const std::vector<IconImage> images = ReadIconFile(file);
  ASSERT_EQ(images.size(), 3u);
  const Bytes group = BuildGroupIcon(images, 1);
  ASSERT_EQ(group.size(), 6u + 3 * 14);
  EXPECT_EQ(Bytes(group.begin(), group.begin() + 6), Bytes(file.begin(), file.begin() + 6));
  for (std::size_t i = 0; i < images.size(); ++i) {
    EXPECT_EQ(Bytes(images[i].bytes.begin(), images[i].bytes.end()),
              Bytes(images[i].bytes.size(), static_cast<std::uint8_t>(i + 1)))
        << i;
    // The directory entry's first 12 bytes, then the id instead of the offset.
    const auto entry = group.begin() + static_cast<std::ptrdiff_t>(6 + 14 * i);
    const auto fileEntry = file.begin() + static_cast<std::ptrdiff_t>(6 + 16 * i);
    EXPECT_EQ(Bytes(entry, entry + 12), Bytes(fileEntry, fileEntry + 12)) << i;
    EXPECT_EQ(entry[12] | (entry[13] << 8), static_cast<int>(i + 1)) << i;
  }
}

TEST(IconFile, RefusesFilesThatAreNoUsableIcon) {
  const Bytes good = IconFile({{16, Bytes(40, 1)}});
  Bytes offsetOutside = good;
  PutLittleEndian(offsetOutside, 6 + 12, 0xFFFFFFF0, 4);
  Bytes sizeOutside = good;
  PutLittleEndian(sizeOutside, 6 + 8, 41, 4);
  Bytes emptyImage = good;
  PutLittleEndian(emptyImage, 6 + 8, 0, 4);
  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"a PNG file", {0x89, 'P', 'N', 'G', 13, 10, 26, 10}},
      {"a cursor file", IconFile({{16, Bytes(40, 1)}}, 2)},
      {"no images", IconFile({})},
      {"cut inside the directory", Bytes(good.begin(), good.begin() + 12)},
      {"an image offset outside the file", offsetOutside},
      {"an image running past the end", sizeOutside},
      {"an empty image", emptyImage},
      {"empty file", {}},
  };
  for (const auto& [label, file] : cases) EXPECT_THROW(ReadIconFile(file), IconFileError) << label;
}

TEST(FileVersion, TakesOneToFourPartsOfAtMost65535) {
  const std::vector<std::pair<std::string, FileVersion>> good = {{"1", {1, 0, 0, 0}},
                                                                 {"1.2", {1, 2, 0, 0}},
                                                                 {"1.2.3", {1, 2, 3, 0}},
                                                                 {"1.2.3.4", {1, 2, 3, 4}},
                                                                 {"65535.0.65535.7", {65535, 0, 65535, 7}},
                                                                 {"0.10.0200.0", {0, 10, 200, 0}}};
  for (const auto& [text, version] : good) EXPECT_EQ(ParseFileVersion(text), version) << text;
  for (const std::string text : {"", "1.", ".1", "1..2", "65536", "1.2.3.4.5", "v1", "-1", "1 .2", "1.2a", "+3"}) {
    EXPECT_THROW(ParseFileVersion(text), VersionResourceError) << text;
  }
  EXPECT_EQ(FormatFileVersion({1, 20, 300, 65535}), "1.20.300.65535");
}

TEST(VersionResource, HoldsTheFixedVersionAndReadsBackEveryString) {
  const std::vector<VersionString> strings = {{"CompanyName", "Ünïcode Stüdio ☃"},
                                              {"FileDescription", "Quorvane portable"},
                                              {"LegalCopyright", ""},
                                              {"ProductName", "Q"}};
  const Bytes resource = BuildVersionResource({1, 2, 3, 4}, strings);
  EXPECT_EQ(ReadVersionStrings(resource), strings);

  const LittleEndianView<VersionResourceError> view(resource);
  struct Case {
    std::string label;
    std::uint32_t actual;
    std::uint32_t expected;
  };
  // Header, "VS_VERSION_INFO" and its terminator take 38 bytes; the fixed
  // information starts on the next 32-bit boundary.
  const std::vector<Case> cases = {
      {"total length", view.U16(0, ""), static_cast<std::uint32_t>(resource.size())},
      {"fixed information length", view.U16(2, ""), 52},
      {"signature", view.U32(40, ""), 0xFEEF04BD},
      {"file version, high", view.U32(48, ""), 0x00010002},
      {"file version, low", view.U32(52, ""), 0x00030004},
      {"product version, high", view.U32(56, ""), 0x00010002},
      {"product version, low", view.U32(60, ""), 0x00030004},
      {"file type: application", view.U32(76, ""), 1},
      {"translation: U.S. English", view.U16(resource.size() - 4, ""), 0x0409},
      {"translation: Unicode", view.U16(resource.size() - 2, ""), 0x04B0},
      {"ends on a 32-bit boundary", static_cast<std::uint32_t>(resource.size() % 4), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.label;
}

// Reads on a thread of its own, so that a reader that spins fails the case
// within seconds instead of hanging the run.
bool RefusedInTime(const Bytes& resource) {
  auto outcome = std::make_shared<std::promise<bool>>();
  std::future<bool> refused = outcome->get_future();
  std::thread([resource, outcome] {
    try {
      ReadVersionStrings(resource);
      outcome->set_value(false);
    } catch (const VersionResourceError&) {
      outcome->set_value(true);
    }
  }).detach();
  return refused.wait_for(std::chrono::seconds(10)) == std::future_status::ready && refused.get();
}

TEST(VersionResource, ReaderRefusesBlocksThatDoNotHoldTogether) {
  // A root block of 16 bytes with an empty key; its child starts at byte 8.
  const auto root = [](std::uint8_t rootLength, std::uint8_t childLength) {
    Bytes resource(16, 0);
    resource[0] = rootLength;
    resource[8] = childLength;
    return resource;
  };
  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"a child of length zero", root(16, 0)},
      {"a child shorter than a block header", root(16, 4)},
      {"a child running past its parent", root(16, 12)},
      {"a root longer than the resource", root(32, 8)},
      {"a root shorter than a block header", root(4, 0)},
      {"cut inside the root's header", Bytes{16, 0, 0}},
  };
  for (const auto& [label, resource] : cases) EXPECT_TRUE(RefusedInTime(resource)) << label;
}

TEST(VersionResource, RefusesTextThatIsNotUtf8OrTooLong) {
  const std::vector<std::pair<std::string, std::string>> cases = {{"a lone continuation byte", "\x80"},
                                                                  {"a cut sequence", "\xE2\x98"},
                                                                  {"an overlong slash", "\xC0\xAF"},
                                                                  {"a surrogate", "\xED\xA0\x80"},
                                                                  {"33,000 characters", std::string(33000, 'x')},
                                                                  {"70,000 characters", std::string(70000, 'x')}};
  for (const auto& [label, text] : cases) {
    EXPECT_ANY_THROW(BuildVersionResource({1, 0, 0, 0}, {{"ProductName", text}})) << label;
  }
  // The longest text whose resource a 16-bit length still covers.
  const std::size_t longest = (0xFFFF - BuildVersionResource({1, 0, 0, 0}, {{"ProductName", ""}}).size()) / 2;
  const std::vector<VersionString> strings = {{"ProductName", std::string(longest, 'x')}};
  EXPECT_EQ(ReadVersionStrings(BuildVersionResource({1, 0, 0, 0}, strings)), strings);
}

}  // namespace
}  // namespace qvn::pack
