#include "tools/pack/packing/chunk_records.h"

#include <algorithm>
#include <string>

#include "base/byte_order.h"
#include "base/error.h"
#include "compression/buffer_format.h"
#include "compression/chunk_by_chunk_decode.h"
#include "compression/lz_decoder.h"
#include "payload/payload_fault.h"
#include "tools/pack/packing/checked_records.h"
#include "tools/pack/packing/packer_fault.h"

namespace qvn::pack {
namespace {

// Fills `bytes` with a chunk stored raw: its segments' own bytes, each
// decoded back from its stream where they were not kept, after the bytes
// before it that its matches reach. Each segment's own copy is let go as
// soon as it is in, so that the chunk is held about once.
void FillRawChunk(std::span<const Segment> segments, const std::vector<std::vector<std::uint8_t>>& streams,
                  std::span<EncodedSegment> encoded, std::span<std::uint8_t> bytes, const std::string& name) {
  const auto tables = std::make_unique<compression::HuffmanDecoder>();
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const Segment& segment = segments[i];
    if (!encoded[i].raw.empty()) {
      std::ranges::copy(encoded[i].raw, bytes.begin() + segment.from);
      std::vector<std::uint8_t>().swap(encoded[i].raw);
    } else if (!compression::DecodeLzHuffman(streams[i], bytes.first(segment.to), segment.from, *tables)) {
      throw Error(name + ": a segment just encoded does not decode");
    }
  }
}

// A chunk's record, in one piece: a file's first starts with the stream's
// header, then the 32-bit stored size, then its segments' streams or, where
// they are not kept, the chunk raw (its own size marks it so).
MadeRecord MakeRecord(const Chunk& chunk, std::span<const Segment> segments, std::span<EncodedSegment> encoded,
                      const PackFileInfo& file) {
  std::vector<std::vector<std::uint8_t>> streams;
  streams.reserve(encoded.size());
  for (EncodedSegment& segment : encoded) streams.push_back(std::move(segment.stream));
  const bool keeps = compression::ChunkEncoder::KeepsSegments(chunk.size, streams);
  std::size_t storedSize = chunk.size;
  if (keeps) {
    storedSize = 0;
    for (const std::vector<std::uint8_t>& stream : streams) storedSize += stream.size();
  }
  MadeRecord made;
  std::vector<std::uint8_t>& bytes = made.bytes;
  made.storedAt = (chunk.offset == 0 ? compression::kBufferHeaderSize : 0) + compression::kChunkRecordHeaderSize;
  bytes.reserve(made.storedAt + storedSize);
  if (chunk.offset == 0) {
    const auto header = compression::BufferHeader(file.size);
    bytes.assign(header.begin(), header.end());
  }
  AppendLittleEndian(bytes, static_cast<std::uint32_t>(storedSize), 4);
  if (keeps) {
    for (const std::vector<std::uint8_t>& stream : streams) bytes.insert(bytes.end(), stream.begin(), stream.end());
  } else {
    bytes.resize(made.storedAt + storedSize);
    FillRawChunk(segments, streams, encoded, std::span(bytes).subspan(made.storedAt), file.storedName);
  }
  for (EncodedSegment& segment : encoded) segment = {};
  return made;
}

}  // namespace

ChunkRecords::ChunkRecords(const std::vector<PackFileInfo>& files, const UnitPlan& plan)
    : files_(files), plan_(plan), segmentsLeft_(plan.chunks.size()), made_(plan.chunks.size()), digests_(files, plan) {
  for (std::size_t i = 0; i < plan.chunks.size(); ++i) {
    segmentsLeft_[i].store(plan.chunks[i].segmentCount, std::memory_order_relaxed);
    largestChunk_ = std::max(largestChunk_, plan.chunks[i].size);
  }
}

std::unique_ptr<RecordChecker> ChunkRecords::TakeChecker() {
  {
    const std::lock_guard lock(checkersMutex_);
    if (!idleCheckers_.empty()) {
      std::unique_ptr<RecordChecker> checker = std::move(idleCheckers_.back());
      idleCheckers_.pop_back();
      return checker;
    }
  }
  return std::make_unique<RecordChecker>(largestChunk_);
}

void ChunkRecords::GiveBack(std::unique_ptr<RecordChecker> checker) {
  const std::lock_guard lock(checkersMutex_);
  idleCheckers_.push_back(std::move(checker));
}

void ChunkRecords::SegmentDone(std::size_t segment, std::span<EncodedSegment> encoded) {
  const std::size_t index = plan_.segments[segment].chunk;
  // The last segment's worker sees every other worker's slot of the chunk.
  if (segmentsLeft_[index].fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  const Chunk& chunk = plan_.chunks[index];
  const PackFileInfo& file = files_[chunk.file];
  MadeRecord made =
      MakeRecord(chunk, plan_.SegmentsOf(chunk), encoded.subspan(chunk.firstSegment, chunk.segmentCount), file);
  const std::span<const std::uint8_t> stored = std::span(made.bytes).subspan(made.storedAt);
  made.fingerprint = StoredFingerprint(stored);
  bool expanded = false;
  // Abandoned: another worker's failure is the one reported.
  const bool hashed = digests_.Hash(index, [&](Sha256Hasher& hasher) {
    std::unique_ptr<RecordChecker> checker = TakeChecker();
    expanded = compression::ExpandChunkRecord(stored, chunk.size,
                                              std::span(checker->scratch.get(), checker->scratchSize), *checker->tables,
                                              [&hasher](std::span<const std::uint8_t> piece) { hasher.Update(piece); });
    GiveBack(std::move(checker));
  });
  if (!hashed) return;
  if (!expanded) {
    RaisePackerFault({file.storedName + ": " + std::string(PayloadFaultMessage(PayloadFault::kDecompressionFailed))});
  }
  made_[index] = std::move(made);
}

}  // namespace qvn::pack
