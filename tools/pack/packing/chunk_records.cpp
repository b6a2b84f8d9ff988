#include "tools/pack/packing/chunk_records.h"

#include <algorithm>
#include <optional>

namespace qvn::pack {
namespace {

std::size_t LargestChunk(const UnitPlan& plan) {
  std::size_t largest = 0;
  for (const Chunk& chunk : plan.chunks) largest = std::max(largest, chunk.size);
  return largest;
}

}  // namespace

ChunkRecords::ChunkRecords(const std::vector<PackFileInfo>& files, const UnitPlan& plan)
    : files_(files),
      plan_(plan),
      encoded_(plan.segments.size(), false),
      check_(LargestChunk(plan)),
      made_(plan.chunks.size()),
      digests_(files.size(), HashSha256({})) {}

void ChunkRecords::SegmentDone(std::size_t segment, std::span<EncodedSegment> encoded) {
  std::unique_lock lock(mutex_);
  encoded_[segment] = true;
  if (checking_) return;
  checking_ = true;
  // A failure leaves it set: the run has failed, and no one checks on.
  while (nextChecked_ < encoded_.size() && encoded_[nextChecked_]) {
    const std::size_t next = nextChecked_;
    lock.unlock();
    Check(next, encoded);
    lock.lock();
    ++nextChecked_;
  }
  checking_ = false;
}

void ChunkRecords::Check(std::size_t segment, std::span<EncodedSegment> encoded) {
  const std::size_t index = plan_.segments[segment].chunk;
  const Chunk& chunk = plan_.chunks[index];
  const PackFileInfo& file = files_[chunk.file];
  if (chunk.offset == 0 && segment == chunk.firstSegment) hasher_ = Sha256Hasher();
  std::optional<MadeRecord> made = check_.Add(plan_, segment, encoded, file, hasher_);
  if (!made) return;
  made_[index] = std::move(*made);
  if (chunk.offset + chunk.size == file.size) digests_[chunk.file] = hasher_.Finish();
  checkedChunks_.store(index + 1, std::memory_order_release);
}

}  // namespace qvn::pack
