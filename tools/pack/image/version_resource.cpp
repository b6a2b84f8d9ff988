#include "tools/pack/image/version_resource.h"

#include <charconv>

#include "base/byte_order.h"
#include "base/little_endian_view.h"
#include "base/utf16_text.h"

namespace qvn::pack {
namespace {

constexpr std::uint16_t kBinaryValue = 0;
constexpr std::uint16_t kTextValue = 1;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedInfoVersion = 0x00010000;
constexpr std::uint32_t kFlagsMask = 0x3F;
constexpr std::uint32_t kOsNtWindows32 = 0x00040004;
constexpr std::uint32_t kFileTypeApplication = 1;

void PadTo4(std::vector<std::uint8_t>& bytes) { bytes.resize((bytes.size() + 3) & ~std::size_t{3}, 0); }

void AppendText(std::vector<std::uint8_t>& bytes, std::u16string_view text) {
  for (char16_t unit : text) AppendLittleEndian(bytes, unit, 2);
  AppendLittleEndian(bytes, 0, 2);
}

// One block: header, key, value, children; its length field covers all of
// it but not the padding that may follow.
class Block {
 public:
  Block(std::vector<std::uint8_t>& bytes, std::u16string_view key, std::uint16_t valueLength, std::uint16_t type)
      : bytes_(bytes), start_(bytes.size()) {
    AppendLittleEndian(bytes_, 0, 2);
    AppendLittleEndian(bytes_, valueLength, 2);
    AppendLittleEndian(bytes_, type, 2);
    AppendText(bytes_, key);
    PadTo4(bytes_);
  }
  ~Block() { PutLittleEndian(bytes_, start_, static_cast<std::uint32_t>(bytes_.size() - start_), 2); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

 private:
  std::vector<std::uint8_t>& bytes_;
  std::size_t start_;
};

void AppendFixedInfo(std::vector<std::uint8_t>& bytes, const FileVersion& version) {
  const std::uint32_t high = (std::uint32_t{version[0]} << 16) | version[1];
  const std::uint32_t low = (std::uint32_t{version[2]} << 16) | version[3];
  for (std::uint32_t field : {kFixedInfoSignature, kFixedInfoVersion, high, low, high, low, kFlagsMask, 0u,
                              kOsNtWindows32, kFileTypeApplication, 0u, 0u, 0u}) {
    AppendLittleEndian(bytes, field, 4);
  }
}

constexpr std::uint16_t kFixedInfoSize = 13 * 4;

using VersionView = LittleEndianView<VersionResourceError>;

struct BlockView {
  std::uint64_t start;
  std::uint64_t end;
  std::uint16_t valueLength;
  std::uint16_t type;
  std::u16string key;
  std::uint64_t value;  // where the value starts
};

BlockView ReadBlock(const VersionView& view, std::uint64_t start, std::uint64_t limit) {
  BlockView block{start,
                  start + view.U16(start, "version block"),
                  view.U16(start + 2, "version block"),
                  view.U16(start + 4, "version block"),
                  {},
                  0};
  if (block.end > limit || block.end < start + 6)
    throw VersionResourceError("a version block's length is out of range");
  std::uint64_t at = start + 6;
  for (; at + 2 <= block.end; at += 2) {
    const std::uint16_t unit = view.U16(at, "version block key");
    if (unit == 0) break;
    block.key += static_cast<char16_t>(unit);
  }
  block.value = (at + 2 + 3) & ~std::uint64_t{3};
  return block;
}

// Calls visit(child) for each child block, which starts after the value.
template <typename Visit>
void ForEachChild(const VersionView& view, const BlockView& block, std::uint64_t firstChild, Visit visit) {
  for (std::uint64_t at = (firstChild + 3) & ~std::uint64_t{3}; at + 6 <= block.end;) {
    const BlockView child = ReadBlock(view, at, block.end);
    visit(child);
    at = (child.end + 3) & ~std::uint64_t{3};
  }
}

}  // namespace

FileVersion ParseFileVersion(std::string_view text) {
  FileVersion version{};
  std::size_t part = 0;
  const char* at = text.data();
  const char* end = text.data() + text.size();
  while (true) {
    unsigned value = 0;
    const auto [next, error] = std::from_chars(at, end, value);
    if (error != std::errc() || next == at || value > 0xFFFF || part == version.size()) {
      throw VersionResourceError("version \"" + std::string(text) +
                                 "\" is not one to four dot-separated numbers of at most 65535");
    }
    version[part++] = static_cast<std::uint16_t>(value);
    if (next == end) return version;
    if (*next != '.')
      at = end;  // makes the next round fail
    else
      at = next + 1;
  }
}

std::string FormatFileVersion(const FileVersion& version) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) + "." +
         std::to_string(version[3]);
}

std::vector<std::uint8_t> BuildVersionResource(const FileVersion& version, const std::vector<VersionString>& strings) {
  std::vector<std::uint8_t> bytes;
  {
    Block root(bytes, u"VS_VERSION_INFO", kFixedInfoSize, kBinaryValue);
    AppendFixedInfo(bytes, version);
    PadTo4(bytes);
    {
      Block stringFileInfo(bytes, u"StringFileInfo", 0, kTextValue);
      Block table(bytes, u"040904B0", 0, kTextValue);
      for (const auto& [name, value] : strings) {
        PadTo4(bytes);
        const std::u16string text = Utf8ToUtf16(value);
        Block entry(bytes, Utf8ToUtf16(name), static_cast<std::uint16_t>(text.size() + 1), kTextValue);
        AppendText(bytes, text);
      }
    }
    PadTo4(bytes);
    Block varFileInfo(bytes, u"VarFileInfo", 0, kTextValue);
    Block translation(bytes, u"Translation", 4, kBinaryValue);
    AppendLittleEndian(bytes, 0x0409, 2);
    AppendLittleEndian(bytes, 0x04B0, 2);
  }
  // Block lengths are 16-bit.
  if (bytes.size() > 0xFFFF) throw VersionResourceError("the version texts are too long for a version resource");
  return bytes;
}

std::vector<VersionString> ReadVersionStrings(std::span<const std::uint8_t> resource) {
  const VersionView view(resource);
  const BlockView root = ReadBlock(view, 0, resource.size());
  std::vector<VersionString> strings;
  ForEachChild(view, root, root.value + root.valueLength, [&](const BlockView& info) {
    if (info.key != u"StringFileInfo") return;
    ForEachChild(view, info, info.value, [&](const BlockView& table) {
      ForEachChild(view, table, table.value, [&](const BlockView& entry) {
        std::u16string value;
        for (std::uint64_t at = entry.value; at + 2 <= entry.end; at += 2) {
          const std::uint16_t unit = view.U16(at, "version string");
          if (unit == 0) break;
          value += static_cast<char16_t>(unit);
        }
        strings.emplace_back(Utf16ToUtf8(entry.key), Utf16ToUtf8(value));
      });
    });
  });
  return strings;
}

}  // namespace qvn::pack
