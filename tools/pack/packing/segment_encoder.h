#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "compression/chunk_encoder.h"
#include "tools/pack/packing/pack_progress.h"
#include "tools/pack/packing/segment_reader.h"
#include "tools/pack/packing/unit_plan.h"
#include "tools/pack/packing/worker_pool.h"

namespace qvn::pack {

// What encoding one segment gave.
struct EncodedSegment {
  std::vector<std::uint8_t> stream;  // empty where it gave up
  // Its own bytes where its stream gave up or came out no smaller, for a
  // chunk stored raw; otherwise empty (the stream decodes).
  std::vector<std::uint8_t> raw;
};

// The bytes encoded so far across all workers, told to `progress` a block
// at a time, one call at a time.
class EncodingProgress {
 public:
  EncodingProgress(const PackProgress& progress, std::uint64_t total) : progress_(progress), total_(total) {}

  void Add(std::uint64_t bytes);

 private:
  const PackProgress& progress_;
  const std::uint64_t total_;
  std::mutex mutex_;
  std::uint64_t done_ = 0;
};

// One worker: encodes the segments of the units it is given from their
// windows into their slots of `encoded`, with an encoder of its own. The
// worker pool hands a unit to one worker at a time, between its reading
// and its finishing, so each slot has one writer.
class SegmentEncoder final : public UnitWorker {
 public:
  SegmentEncoder(const UnitPlan& plan, std::span<const UnitInput> inputs, std::span<EncodedSegment> encoded,
                 EncodingProgress& progress, compression::Level level)
      : plan_(plan), inputs_(inputs), encoded_(encoded), progress_(progress), level_(level) {}

  void Work(std::size_t unit) override;

 private:
  const UnitPlan& plan_;
  const std::span<const UnitInput> inputs_;
  const std::span<EncodedSegment> encoded_;  // per segment
  EncodingProgress& progress_;
  const compression::Level level_;
  std::unique_ptr<compression::ChunkEncoder> encoder_;  // made on first use
};

}  // namespace qvn::pack
