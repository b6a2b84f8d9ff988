#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "base/sha256.h"
#include "compression/huffman_decoder.h"
#include "tools/pack/packing/decoded_digests.h"
#include "tools/pack/packing/encoded_segment.h"
#include "tools/pack/packing/pack_input.h"
#include "tools/pack/packing/unit_plan.h"

namespace qvn::pack {

// What checking one record takes: decoding tables and one chunk of
// scratch.
struct RecordChecker {
  explicit RecordChecker(std::size_t size)
      : scratch(std::make_unique_for_overwrite<std::uint8_t[]>(size)), scratchSize(size) {}

  const std::unique_ptr<compression::HuffmanDecoder> tables = std::make_unique<compression::HuffmanDecoder>();
  const std::unique_ptr<std::uint8_t[]> scratch;
  const std::size_t scratchSize;
};

// A chunk's record, made and checked.
struct MadeRecord {
  std::vector<std::uint8_t> bytes;  // the stream's header first, for a file's first chunk
  std::size_t storedAt = 0;         // where the stored bytes start, after the record's size
  std::uint64_t fingerprint = 0;    // StoredFingerprint of the stored bytes
};

// Each chunk's record, made on the worker that encodes the chunk's last
// segment and checked there as the launcher will read it: its stored bytes
// taken raw or decoded to exactly the chunk's size, and that output hashed
// into its file's digest. So checking runs on the workers, beside the
// encoding of later chunks. Checkers are shared by the workers and made
// only when all are in use, so that records seldom checked at once cost
// one chunk of memory, touched once.
class ChunkRecords {
 public:
  ChunkRecords(const std::vector<PackFileInfo>& files, const UnitPlan& plan);

  // On a worker, once `segment` is encoded into its slot of `encoded`.
  // Raises the packer's fault (RaisePackerFault) for a record that fails.
  void SegmentDone(std::size_t segment, std::span<EncodedSegment> encoded);
  // After a worker failed: no worker waits any longer.
  void Abandon() { digests_.Abandon(); }

  // On the calling thread, once every segment of the chunk is finished.
  MadeRecord Take(std::size_t chunk) { return std::move(made_[chunk]); }
  // Once every chunk of the file is taken.
  Sha256 DecodedDigest(std::size_t file) { return digests_.Of(file); }

 private:
  std::unique_ptr<RecordChecker> TakeChecker();
  void GiveBack(std::unique_ptr<RecordChecker> checker);

  const std::vector<PackFileInfo>& files_;
  const UnitPlan& plan_;
  std::vector<std::atomic<std::size_t>> segmentsLeft_;  // per chunk
  std::vector<MadeRecord> made_;                        // per chunk, each written by one worker
  std::size_t largestChunk_ = 0;
  DecodedDigests digests_;
  std::mutex checkersMutex_;
  std::vector<std::unique_ptr<RecordChecker>> idleCheckers_;
};

}  // namespace qvn::pack
