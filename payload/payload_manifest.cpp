#include "payload/payload_manifest.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string_view>
#include <utility>

#include "base/error.h"
#include "payload/payload_path.h"

namespace qvn {
namespace {

constexpr std::string_view kMagic = "QVNPORT1";
constexpr std::size_t kHeaderBytes = 12;
constexpr std::size_t kLengthFieldBytes = 12;
constexpr std::size_t kDigestBytes = 32;
constexpr std::size_t kRecordHeadBytes = kLengthFieldBytes + kDigestBytes;
constexpr std::uint32_t kMaxFileCount = 512;
constexpr std::uint64_t kMaxExpandedFileSize = 0x8000000;
constexpr std::uint64_t kMaxPayloadBytes = 0x20000000;
constexpr std::string_view kMainExecutableName = "Quorvane.exe";

std::uint32_t ReadLittleEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::wstring WidenBytes(std::string_view name) {
  std::wstring wide;
  wide.reserve(name.size());
  for (const char c : name) {
    wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  }
  return wide;
}

std::string FoldToLowerAscii(std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return key;
}

// These names belong to the launcher's portable state; a runtime file under
// them could be taken for that state.
bool IsReservedStatePath(std::string_view key) {
  return key == "portable.txt" || key.starts_with("data/");
}

// Two keys clash when they are equal or when one is used as a directory by
// another. Comparing sorted neighbours alone misses "a" against "a/b" when
// "a.txt" sorts between them, so every directory prefix of every key is looked
// up among the keys instead.
bool HasConflictingKeys(std::vector<std::string>& keys) {
  // std::string orders bytes as unsigned values, shorter prefix first.
  std::sort(keys.begin(), keys.end());
  if (std::adjacent_find(keys.begin(), keys.end()) != keys.end()) {
    return true;
  }
  for (const std::string& key : keys) {
    const std::string_view view(key);
    for (std::size_t slash = view.find('/'); slash != std::string_view::npos;
         slash = view.find('/', slash + 1)) {
      if (std::binary_search(keys.begin(), keys.end(), view.substr(0, slash), std::less<>())) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

PayloadManifest ParsePayloadManifest(std::span<const std::uint8_t> payload) {
  const std::size_t length = payload.size();
  if (length < kMagic.size()) {
    throw Error("Truncated portable payload");
  }
  if (!std::equal(kMagic.begin(), kMagic.end(), payload.begin(),
                  [](char expected, std::uint8_t actual) {
                    return static_cast<std::uint8_t>(expected) == actual;
                  })) {
    throw Error("Unsupported portable payload format");
  }
  if (length < kHeaderBytes) {
    throw Error("Truncated portable payload");
  }
  const std::uint32_t fileCount = ReadLittleEndian32(payload.data() + kMagic.size());
  if (fileCount == 0 || fileCount > kMaxFileCount) {
    throw Error("Invalid portable file count");
  }

  std::size_t cursor = kHeaderBytes;
  std::size_t remaining = length - kHeaderBytes;
  std::uint64_t expandedTotal = 0;
  bool mainExecutableSeen = false;
  PayloadManifest manifest;
  std::vector<std::string> keys;
  manifest.reserve(fileCount);
  keys.reserve(fileCount);

  for (std::uint32_t index = 0; index < fileCount; ++index) {
    if (remaining < kLengthFieldBytes) {
      throw Error("Truncated portable payload");
    }
    const std::uint8_t* record = payload.data() + cursor;
    const std::uint32_t nameLength = ReadLittleEndian32(record);
    const std::uint32_t expandedSize = ReadLittleEndian32(record + 4);
    const std::uint32_t storedSize = ReadLittleEndian32(record + 8);

    // Size limits come before the presence checks, so an oversized record is
    // reported as such even when the payload is also cut short.
    if (expandedSize > kMaxExpandedFileSize || storedSize > kMaxPayloadBytes ||
        expandedTotal > kMaxPayloadBytes - expandedSize) {
      throw Error("Portable expanded size limit exceeded");
    }
    expandedTotal += expandedSize;

    if (remaining - kLengthFieldBytes < kDigestBytes || nameLength > remaining - kRecordHeadBytes) {
      throw Error("Truncated portable payload");
    }
    const std::string name =
        ValidatePayloadPath(payload.subspan(cursor + kRecordHeadBytes, nameLength));
    if (storedSize > remaining - kRecordHeadBytes - nameLength) {
      throw Error("Truncated portable payload");
    }

    const std::span<const std::uint8_t, kDigestBytes> digest(record + kLengthFieldBytes,
                                                             kDigestBytes);
    const std::span<const std::uint8_t> storedData =
        payload.subspan(cursor + kRecordHeadBytes + nameLength, storedSize);
    const std::size_t recordBytes = kRecordHeadBytes + nameLength + storedSize;
    cursor += recordBytes;
    remaining -= recordBytes;

    if ((expandedSize == 0) != (storedSize == 0)) {
      throw Error("Invalid empty portable file");
    }
    if (name == kMainExecutableName) {
      mainExecutableSeen = true;
    }
    manifest.push_back(PayloadEntry{WidenBytes(name), expandedSize, digest, storedData});

    std::string key = FoldToLowerAscii(name);
    if (IsReservedStatePath(key)) {
      throw Error("Reserved portable state path in runtime payload");
    }
    keys.push_back(std::move(key));
  }

  // Conflicts are judged only once every record is read, and before trailing
  // bytes, so a payload with both faults reports the conflict.
  if (HasConflictingKeys(keys)) {
    throw Error("Conflicting portable payload paths");
  }
  if (remaining != 0 || !mainExecutableSeen) {
    throw Error("Incomplete or trailing portable payload data");
  }
  return manifest;
}

}  // namespace qvn
