#include "payload/payload_manifest.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string_view>
#include <utility>

#include "base/little_endian_field.h"
#include "payload/payload_contract.h"
#include "payload/payload_fault.h"
#include "payload/payload_path.h"

namespace qvn {
namespace {

std::wstring WidenBytes(std::string_view name) {
  std::wstring wide;
  wide.reserve(name.size());
  for (const char c : name) {
    wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  }
  return wide;
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
    for (std::size_t slash = view.find('/'); slash != std::string_view::npos; slash = view.find('/', slash + 1)) {
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
  if (length < kPayloadMagic.size()) {
    throw PayloadError(PayloadFault::kTruncatedPayload);
  }
  if (!std::equal(kPayloadMagic.begin(), kPayloadMagic.end(), payload.begin(),
                  [](char expected, std::uint8_t actual) { return static_cast<std::uint8_t>(expected) == actual; })) {
    throw PayloadError(PayloadFault::kUnsupportedFormat);
  }
  if (length < kContainerHeaderSize) {
    throw PayloadError(PayloadFault::kTruncatedPayload);
  }
  const std::uint32_t fileCount = LoadField(payload.data(), kContainerFileCount);
  if (fileCount == 0 || fileCount > kMaxFileCount) {
    throw PayloadError(PayloadFault::kInvalidFileCount);
  }

  std::size_t cursor = kContainerHeaderSize;
  std::size_t remaining = length - kContainerHeaderSize;
  std::uint64_t expandedTotal = 0;
  bool mainExecutableSeen = false;
  PayloadManifest manifest;
  std::vector<std::string> keys;
  manifest.reserve(fileCount);
  keys.reserve(fileCount);

  for (std::uint32_t index = 0; index < fileCount; ++index) {
    // The sizes, then the digest: each is checked present before it is read.
    if (remaining < kRecordDigestOffset) {
      throw PayloadError(PayloadFault::kTruncatedPayload);
    }
    const std::uint8_t* record = payload.data() + cursor;
    const std::uint32_t nameLength = LoadField(record, kRecordNameLength);
    const std::uint32_t expandedSize = LoadField(record, kRecordExpandedSize);
    const std::uint32_t storedSize = LoadField(record, kRecordStoredSize);

    // Size limits come before the presence checks, so an oversized record is
    // reported as such even when the payload is also cut short.
    if (expandedSize > kMaxExpandedFileSize || storedSize > kMaxPayloadSize ||
        expandedTotal > kMaxExpandedTotal - expandedSize) {
      throw PayloadError(PayloadFault::kExpandedSizeLimit);
    }
    expandedTotal += expandedSize;

    if (remaining - kRecordDigestOffset < kDigestSize || nameLength > remaining - kRecordHeadSize) {
      throw PayloadError(PayloadFault::kTruncatedPayload);
    }
    const std::string name = ValidatePayloadPath(payload.subspan(cursor + kRecordHeadSize, nameLength));
    if (storedSize > remaining - kRecordHeadSize - nameLength) {
      throw PayloadError(PayloadFault::kTruncatedPayload);
    }

    const std::span<const std::uint8_t, kDigestSize> digest(record + kRecordDigestOffset, kDigestSize);
    const std::span<const std::uint8_t> storedData = payload.subspan(cursor + kRecordHeadSize + nameLength, storedSize);
    const std::size_t recordBytes = kRecordHeadSize + nameLength + storedSize;
    cursor += recordBytes;
    remaining -= recordBytes;

    if ((expandedSize == 0) != (storedSize == 0)) {
      throw PayloadError(PayloadFault::kInvalidEmptyFile);
    }
    if (name == kMainExecutableName.narrow()) {
      mainExecutableSeen = true;
    }
    manifest.push_back(PayloadEntry{WidenBytes(name), expandedSize, digest, storedData});

    std::string key = FoldAsciiCase(name);
    if (IsReservedStatePath(key)) {
      throw PayloadError(PayloadFault::kReservedStatePath);
    }
    keys.push_back(std::move(key));
  }

  // Conflicts are judged only once every record is read, and before trailing
  // bytes, so a payload with both faults reports the conflict.
  if (HasConflictingKeys(keys)) {
    throw PayloadError(PayloadFault::kConflictingPaths);
  }
  if (remaining != 0 || !mainExecutableSeen) {
    throw PayloadError(PayloadFault::kIncompleteOrTrailingData);
  }
  return manifest;
}

}  // namespace qvn
