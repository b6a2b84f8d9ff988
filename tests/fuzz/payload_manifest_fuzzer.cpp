// Feeds arbitrary bytes to the container parser. Every input must end either
// in one of the parser's own messages or in a manifest that, checked here
// independently of the parser, obeys every container and name rule.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "base/little_endian_field.h"
#include "payload/payload_contract.h"
#include "payload/payload_manifest.h"
#include "payload/payload_path.h"
#include "tests/fuzz/fuzz_require.h"

namespace {

using qvn::fuzz::Require;

bool IsKnownMessage(std::string_view message) {
  constexpr std::string_view known[] = {
      "Truncated portable payload",         "Unsupported portable payload format",
      "Invalid portable file count",        "Portable expanded size limit exceeded",
      "Invalid empty portable file",        "Reserved portable state path in runtime payload",
      "Conflicting portable payload paths", "Incomplete or trailing portable payload data",
      "Invalid portable filename length",   "Unsafe portable filename",
      "Unsafe portable path component",     "Reserved Windows device filename in portable payload",
  };
  return std::find(std::begin(known), std::end(known), message) != std::end(known);
}

std::string Narrow(const std::wstring& wide) {
  std::string narrow;
  for (const wchar_t unit : wide) {
    Require(unit > 0 && unit < 0x80);
    narrow.push_back(static_cast<char>(unit));
  }
  return narrow;
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

// True when the keys are equal or one is a directory of the other.
bool Clash(std::string_view a, std::string_view b) {
  if (a.size() > b.size()) {
    std::swap(a, b);
  }
  return a == b || (b.starts_with(a) && b[a.size()] == '/');
}

void CheckManifest(std::span<const std::uint8_t> payload, const qvn::PayloadManifest& manifest) {
  Require(payload.size() >= qvn::kContainerHeaderSize);
  Require(std::string_view(reinterpret_cast<const char*>(payload.data()), qvn::kPayloadMagic.size()) ==
          qvn::kPayloadMagic);
  Require(manifest.size() == qvn::LoadField(payload.data(), qvn::kContainerFileCount));
  Require(!manifest.empty() && manifest.size() <= 512);

  // Walk the records again: each entry must view exactly its own record, and
  // the records must end exactly at the end of the payload.
  std::size_t cursor = qvn::kContainerHeaderSize;
  std::uint64_t expandedTotal = 0;
  int mainExecutables = 0;
  std::vector<std::string> keys;
  for (const qvn::PayloadEntry& entry : manifest) {
    Require(payload.size() - cursor >= qvn::kRecordHeadSize);
    const std::uint8_t* record = payload.data() + cursor;
    const std::string name = Narrow(entry.relativePath);
    Require(qvn::LoadField(record, qvn::kRecordNameLength) == name.size());
    Require(qvn::LoadField(record, qvn::kRecordExpandedSize) == entry.expandedSize);
    Require(qvn::LoadField(record, qvn::kRecordStoredSize) == entry.storedData.size());
    Require(entry.digest.data() == record + qvn::kRecordDigestOffset);
    const std::size_t recordSize = qvn::kRecordHeadSize + name.size() + entry.storedData.size();
    Require(recordSize <= payload.size() - cursor);
    Require(std::equal(name.begin(), name.end(), record + qvn::kRecordHeadSize,
                       [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; }));
    if (!entry.storedData.empty()) {
      Require(entry.storedData.data() == record + qvn::kRecordHeadSize + name.size());
    }
    cursor += recordSize;

    const std::vector<std::uint8_t> nameBytes(name.begin(), name.end());
    Require(qvn::ValidatePayloadPath(nameBytes) == name);
    Require(entry.expandedSize <= 0x8000000);
    Require(entry.storedData.size() <= 0x20000000);
    Require((entry.expandedSize == 0) == entry.storedData.empty());
    expandedTotal += entry.expandedSize;
    if (name == "Quorvane.exe") {
      ++mainExecutables;
    }
    const std::string key = LowerAscii(name);
    Require(key != "portable.txt" && !key.starts_with("data/"));
    keys.push_back(key);
  }
  Require(cursor == payload.size());
  Require(expandedTotal <= 0x20000000);
  Require(mainExecutables == 1);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    for (std::size_t j = i + 1; j < keys.size(); ++j) {
      Require(!Clash(keys[i], keys[j]));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> payload(data, size);
  qvn::PayloadManifest manifest;
  try {
    manifest = qvn::ParsePayloadManifest(payload);
  } catch (const qvn::Error& error) {
    Require(IsKnownMessage(error.what()));
    return 0;
  }
  // Outside the handler, so a name the check refuses is a finding, not a message.
  CheckManifest(payload, manifest);
  return 0;
}
