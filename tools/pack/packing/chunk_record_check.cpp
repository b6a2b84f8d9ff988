#include "tools/pack/packing/chunk_record_check.h"

#include <algorithm>
#include <string>

#include "base/byte_order.h"
#include "base/error.h"
#include "compression/buffer_format.h"
#include "compression/chunk_encoder.h"
#include "tools/pack/packing/checked_records.h"
#include "tools/pack/packing/packer_fault.h"

namespace qvn::pack {
namespace {

// Fills `bytes` with a chunk stored raw: its segments' own bytes, each
// decoded back from its stream where they were not kept, after the bytes
// before it that its matches reach. Each segment's own copy is let go as
// soon as it is in, so that the chunk is held about once.
void FillRawChunk(std::span<const Segment> segments, std::span<const std::span<const std::uint8_t>> streams,
                  std::span<EncodedSegment> encoded, std::span<std::uint8_t> bytes, compression::HuffmanDecoder& tables,
                  const std::string& name) {
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const Segment& segment = segments[i];
    if (!encoded[i].raw.empty()) {
      std::ranges::copy(encoded[i].raw, bytes.begin() + segment.from);
      std::vector<std::uint8_t>().swap(encoded[i].raw);
    } else if (!compression::DecodeLzHuffman(streams[i], bytes.first(segment.to), segment.from, tables)) {
      throw Error(name + ": a segment just encoded does not decode");
    }
  }
}

}  // namespace

ChunkRecordCheck::ChunkRecordCheck(std::size_t largestChunk)
    : scratch_(std::make_unique_for_overwrite<std::uint8_t[]>(largestChunk)) {}

std::optional<MadeRecord> ChunkRecordCheck::Add(const UnitPlan& plan, std::size_t segment,
                                                std::span<EncodedSegment> encoded, const PackFileInfo& file,
                                                Sha256Hasher& hasher) {
  const Segment& added = plan.segments[segment];
  const Chunk& chunk = plan.chunks[added.chunk];
  if (segment == chunk.firstSegment) Start(chunk, file);
  const std::vector<std::uint8_t>& stream = encoded[segment].stream;
  streamSizes_.push_back(stream.size());
  // Once a segment does not shrink, the chunk is most likely stored raw:
  // the streams from there wait in their slots, to be decoded only if it
  // is kept after all.
  shrinking_ = shrinking_ && !stream.empty() && stream.size() < added.to - added.from;
  const bool last = segment + 1 == chunk.firstSegment + chunk.segmentCount;
  if (shrinking_) {
    TakeStream(encoded[segment]);
    if (!last) Decode(chunk, false, hasher);
  }
  if (!last) return std::nullopt;
  return Finish(plan, chunk, encoded.subspan(chunk.firstSegment, chunk.segmentCount), file, hasher);
}

void ChunkRecordCheck::TakeStream(EncodedSegment& segment) {
  record_.bytes.insert(record_.bytes.end(), segment.stream.begin(), segment.stream.end());
  std::vector<std::uint8_t>().swap(segment.stream);
  ++taken_;
}

// The record starts as a file's first starts, with the stream's header,
// then the 32-bit stored size, filled in once known.
void ChunkRecordCheck::Start(const Chunk& chunk, const PackFileInfo& file) {
  record_ = {};
  record_.storedAt = (chunk.offset == 0 ? compression::kBufferHeaderSize : 0) + compression::kChunkRecordHeaderSize;
  // Room for all that is kept, so that the stored bytes never move.
  record_.bytes.reserve(record_.storedAt + chunk.size);
  if (chunk.offset == 0) {
    const auto header = compression::BufferHeader(file.size);
    record_.bytes.assign(header.begin(), header.end());
  }
  record_.bytes.resize(record_.storedAt);
  streamSizes_.clear();
  taken_ = 0;
  decoded_ = {};
  shrinking_ = true;
}

void ChunkRecordCheck::Decode(const Chunk& chunk, bool complete, Sha256Hasher& hasher) {
  const std::span<const std::uint8_t> stored = std::span(record_.bytes).subspan(record_.storedAt);
  const std::span<std::uint8_t> output(scratch_.get(), chunk.size);
  std::size_t hashed = decoded_.decoded;
  compression::DecodeLzHuffmanArriving(stored, output, decoded_, complete, *tables_, [&](std::size_t end) {
    hasher.Update(output.subspan(hashed, end - hashed));
    hashed = end;
  });
}

MadeRecord ChunkRecordCheck::Finish(const UnitPlan& plan, const Chunk& chunk, std::span<EncodedSegment> encoded,
                                    const PackFileInfo& file, Sha256Hasher& hasher) {
  if (compression::ChunkEncoder::KeepsSegments(chunk.size, streamSizes_)) {
    for (std::size_t i = taken_; i < encoded.size(); ++i) TakeStream(encoded[i]);
    Decode(chunk, true, hasher);
    if (decoded_.decoded != chunk.size) RaisePackerFault(file.storedName, PayloadFault::kDecompressionFailed);
  } else {
    // Stored raw: its own size marks it so.
    std::vector<std::span<const std::uint8_t>> streams;
    std::size_t takenAt = record_.storedAt;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
      if (i < taken_) {
        streams.push_back(std::span(record_.bytes).subspan(takenAt, streamSizes_[i]));
        takenAt += streamSizes_[i];
      } else {
        streams.emplace_back(encoded[i].stream);
      }
    }
    MadeRecord raw;
    raw.storedAt = record_.storedAt;
    raw.bytes.reserve(raw.storedAt + chunk.size);
    raw.bytes.assign(record_.bytes.begin(), record_.bytes.begin() + static_cast<std::ptrdiff_t>(raw.storedAt));
    raw.bytes.resize(raw.storedAt + chunk.size);
    const std::span<std::uint8_t> bytes = std::span(raw.bytes).subspan(raw.storedAt);
    FillRawChunk(plan.SegmentsOf(chunk), streams, encoded, bytes, *tables_, file.storedName);
    // What is hashed already is what the streams decoded to: it must be
    // the chunk's own bytes, or the digest is not theirs.
    const std::size_t hashed = decoded_.decoded;
    if (!std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(hashed), scratch_.get())) {
      RaisePackerFault(file.storedName, PayloadFault::kFileDigestMismatch);
    }
    hasher.Update(bytes.subspan(hashed));
    record_ = std::move(raw);
  }
  const std::span<const std::uint8_t> stored = std::span(record_.bytes).subspan(record_.storedAt);
  StoreLe32(record_.bytes.data() + record_.storedAt - compression::kChunkRecordHeaderSize,
            static_cast<std::uint32_t>(stored.size()));
  record_.fingerprint = StoredFingerprint(stored);
  for (EncodedSegment& segment : encoded) segment = {};
  return std::move(record_);
}

}  // namespace qvn::pack
