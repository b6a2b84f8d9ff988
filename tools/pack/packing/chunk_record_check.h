#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "base/sha256.h"
#include "compression/huffman_decoder.h"
#include "compression/lz_decoder.h"
#include "tools/pack/packing/encoded_segment.h"
#include "tools/pack/packing/pack_input.h"
#include "tools/pack/packing/unit_plan.h"

namespace qvn::pack {

// A chunk's record, made and checked.
struct MadeRecord {
  std::vector<std::uint8_t> bytes;  // the stream's header first, for a file's first chunk
  std::size_t storedAt = 0;         // where the stored bytes start, after the record's size
  std::uint64_t fingerprint = 0;    // StoredFingerprint of the stored bytes
};

// Makes one chunk's record at a time from its segments, given in order as
// they are encoded, and checks it as the launcher will read it: the stored
// bytes are decoded as far as the segments so far allow, and the output is
// hashed into the file's digest while it is still in the cache. So once a
// chunk's last segment is in, little is left to check. A chunk stored raw
// is held to what its streams decoded to so far, and its bytes are hashed
// instead.
class ChunkRecordCheck {
 public:
  explicit ChunkRecordCheck(std::size_t largestChunk);

  // Takes segment `segment`'s stream into the record of its chunk, whose
  // earlier segments must be in; `encoded` holds the chunk's segments.
  // Returns the record once the chunk's last segment is in. Raises the
  // packer's fault (RaisePackerFault) for a record that fails.
  std::optional<MadeRecord> Add(const UnitPlan& plan, std::size_t segment, std::span<EncodedSegment> encoded,
                                const PackFileInfo& file, Sha256Hasher& hasher);

 private:
  void Start(const Chunk& chunk, const PackFileInfo& file);
  void TakeStream(EncodedSegment& segment);
  void Decode(const Chunk& chunk, bool complete, Sha256Hasher& hasher);
  MadeRecord Finish(const UnitPlan& plan, const Chunk& chunk, std::span<EncodedSegment> encoded,
                    const PackFileInfo& file, Sha256Hasher& hasher);

  const std::unique_ptr<compression::HuffmanDecoder> tables_ = std::make_unique<compression::HuffmanDecoder>();
  const std::unique_ptr<std::uint8_t[]> scratch_;  // the largest chunk's size
  // The chunk being made.
  MadeRecord record_;
  std::vector<std::size_t> streamSizes_;
  std::size_t taken_ = 0;                 // segments whose streams are in the record
  compression::LzBlockBoundary decoded_;  // in its stored bytes and its output
  bool shrinking_ = true;                 // every segment's stream so far
};

}  // namespace qvn::pack
