#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/pack/packing/checked_records.h"
#include "tools/pack/packing/chunk_records.h"
#include "tools/pack/packing/file_digests.h"
#include "tools/pack/packing/ordered_output.h"
#include "tools/pack/packing/unit_plan.h"

namespace qvn::pack {

// Puts the container together on the calling thread as units finish, in
// any order: each file's record, in stored order, once all its units are
// finished and its chunks' records made and checked (its header needs
// their sizes and its digest), queued to `out` behind the container's
// header. A file whose chunks decode to other than the digest taken of its
// bytes as they were read is the packer's fault. What was queued is noted
// as checked.
class RecordAssembler {
 public:
  RecordAssembler(const std::vector<PackFileInfo>& files, const UnitPlan& plan, const FileDigests& digests,
                  ChunkRecords& made, OrderedOutput& out);

  // The unit's digests must be added already.
  void Finish(std::size_t unit);
  // Queues the files made ready meanwhile by checks on the workers.
  void QueueCompleteFiles();
  std::vector<CheckedRecord> TakeChecked() { return std::move(checked_); }

 private:
  bool ChecksDone(std::size_t file) const;

  const std::vector<PackFileInfo>& files_;
  const UnitPlan& plan_;
  const FileDigests& digests_;
  ChunkRecords& made_;
  OrderedOutput& out_;
  std::vector<std::size_t> segmentsLeft_;  // per chunk
  std::vector<std::size_t> chunksLeft_;    // per file
  std::vector<CheckedRecord> checked_;
  std::size_t nextQueued_ = 0;  // into the stored order
  std::size_t nextChunk_ = 0;   // the first chunk of that file
};

}  // namespace qvn::pack
