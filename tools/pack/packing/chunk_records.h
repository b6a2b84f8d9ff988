#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <span>
#include <vector>

#include "base/sha256.h"
#include "tools/pack/packing/chunk_record_check.h"
#include "tools/pack/packing/encoded_segment.h"
#include "tools/pack/packing/pack_input.h"
#include "tools/pack/packing/unit_plan.h"

namespace qvn::pack {

// Each chunk's record, made and checked on the workers (ChunkRecordCheck),
// one segment after another in stored order, by whichever worker finishes
// the segment the check waits for; it then goes on with the segments
// finished meanwhile. So files are hashed in order without a worker ever
// waiting for another, one chunk of scratch serves every check, and when
// the last segment is encoded only it is left to check.
class ChunkRecords {
 public:
  ChunkRecords(const std::vector<PackFileInfo>& files, const UnitPlan& plan);

  // On a worker, once `segment` is encoded into its slot of `encoded`.
  // Raises the packer's fault (RaisePackerFault) for a record that fails.
  void SegmentDone(std::size_t segment, std::span<EncodedSegment> encoded);

  // How many chunks, from the first in stored order, are made and checked.
  std::size_t checked() const { return checkedChunks_.load(std::memory_order_acquire); }
  // Once `chunk` is checked.
  MadeRecord Take(std::size_t chunk) { return std::move(made_[chunk]); }
  // What the file's chunks decode to, once they are checked; an empty
  // file has that of no bytes.
  const Sha256& DecodedDigest(std::size_t file) const { return digests_[file]; }

 private:
  void Check(std::size_t segment, std::span<EncodedSegment> encoded);

  const std::vector<PackFileInfo>& files_;
  const UnitPlan& plan_;
  std::mutex mutex_;
  std::vector<bool> encoded_;    // per segment
  std::size_t nextChecked_ = 0;  // the segment the check waits for
  bool checking_ = false;        // a worker is checking
  // The checking worker's alone.
  ChunkRecordCheck check_;
  Sha256Hasher hasher_;  // of the file being checked
  std::vector<MadeRecord> made_;
  std::vector<Sha256> digests_;
  std::atomic<std::size_t> checkedChunks_{0};
};

}  // namespace qvn::pack
