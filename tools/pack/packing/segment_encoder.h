#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "compression/chunk_encoder.h"
#include "tools/pack/packing/chunk_records.h"
#include "tools/pack/packing/encoded_segment.h"
#include "tools/pack/packing/pack_progress.h"
#include "tools/pack/packing/segment_reader.h"
#include "tools/pack/packing/unit_plan.h"
#include "tools/pack/packing/worker_pool.h"

namespace qvn::pack {

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
// windows into their slots of `encoded`, with an encoder of its own, and
// makes and checks the record of each chunk whose last segment it encodes.
// The worker pool hands a unit to one worker at a time, between its
// reading and its finishing, so each slot has one writer.
class SegmentEncoder final : public UnitWorker {
 public:
  SegmentEncoder(const UnitPlan& plan, std::span<const UnitInput> inputs, std::span<EncodedSegment> encoded,
                 ChunkRecords& records, EncodingProgress& progress, compression::Level level)
      : plan_(plan), inputs_(inputs), encoded_(encoded), records_(records), progress_(progress), level_(level) {}

  void Work(std::size_t unit) override;

 private:
  const UnitPlan& plan_;
  const std::span<const UnitInput> inputs_;
  const std::span<EncodedSegment> encoded_;  // per segment
  ChunkRecords& records_;
  EncodingProgress& progress_;
  const compression::Level level_;
  std::unique_ptr<compression::ChunkEncoder> encoder_;  // made on first use
};

}  // namespace qvn::pack
