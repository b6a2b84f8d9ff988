#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/sha256.h"

namespace qvn::pack {

// One chunk record as the packer checked it: where its stored bytes went
// in the payload, their fingerprint, and how many bytes they expand to.
struct CheckedChunk {
  std::uint64_t offset = 0;  // of the stored bytes, after the record's size
  std::uint32_t storedSize = 0;
  std::uint64_t fingerprint = 0;  // StoredFingerprint of the stored bytes
  std::uint32_t expandedSize = 0;
};

// One file's record as the packer checked it while packing: every chunk
// decoded to its size, and all of them to `digest`. The payload read back
// must hold exactly these, so that what takes the name is what was checked.
struct CheckedRecord {
  std::string name;
  std::uint32_t expandedSize = 0;
  Sha256 digest{};
  std::vector<CheckedChunk> chunks;
};

// A quick 64-bit fingerprint of stored bytes, that ties those read back to
// those checked: it catches bytes changed, lost or moved on the way, though
// not ones made to match on purpose (the payload's digest is for that).
std::uint64_t StoredFingerprint(std::span<const std::uint8_t> bytes);

}  // namespace qvn::pack
