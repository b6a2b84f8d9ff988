#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "payload/payload_contract.h"

namespace qvn {

// One validated file record. digest and storedData point into the payload
// bytes the manifest was parsed from, which must outlive the manifest.
struct PayloadEntry {
  std::wstring relativePath;  // the stored name, each byte widened to one code unit
  std::uint32_t expandedSize;
  std::span<const std::uint8_t, kDigestSize> digest;  // SHA-256 of the expanded contents
  std::span<const std::uint8_t> storedData;           // compressed stream; empty for an empty file
};

// Entries in the order the records are stored, which is the extraction order.
using PayloadManifest = std::vector<PayloadEntry>;

// Walks the payload container once and checks every structural rule and every
// name. Raises PayloadError with the fault of the first rule that fails.
PayloadManifest ParsePayloadManifest(std::span<const std::uint8_t> payload);

}  // namespace qvn
