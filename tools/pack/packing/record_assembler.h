#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tools/pack/packing/file_digests.h"
#include "tools/pack/packing/ordered_output.h"
#include "tools/pack/packing/segment_encoder.h"
#include "tools/pack/packing/unit_plan.h"

namespace qvn::pack {

// Puts the container together on the calling thread as units finish, in
// any order: a chunk's record once its last segment is in, and each file's
// record, in stored order, once all its chunks are (its header needs their
// sizes and its digest), queued to `out` behind the container's header.
class RecordAssembler {
 public:
  RecordAssembler(const std::vector<PackFileInfo>& files, const UnitPlan& plan, const FileDigests& digests,
                  OrderedOutput& out);

  // Takes the unit's segments out of `encoded`; the unit's digests must be
  // added already.
  void Finish(std::size_t unit, std::span<EncodedSegment> encoded);

 private:
  struct ChunkState {
    std::size_t segmentsLeft = 0;
    std::vector<std::vector<std::uint8_t>> record;  // its pieces once finished
    std::uint64_t recordSize = 0;
  };

  void FinishChunk(std::size_t index, std::span<EncodedSegment> encoded);
  void QueueCompleteFiles();

  const std::vector<PackFileInfo>& files_;
  const UnitPlan& plan_;
  const FileDigests& digests_;
  OrderedOutput& out_;
  std::vector<ChunkState> chunks_;
  std::vector<std::size_t> chunksLeft_;  // per file
  std::size_t nextQueued_ = 0;           // into the stored order
  std::size_t nextChunk_ = 0;            // the first chunk of that file
};

}  // namespace qvn::pack
