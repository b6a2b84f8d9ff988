#include "tools/pack/packing/record_assembler.h"

#include <algorithm>
#include <memory>
#include <string>

#include "base/byte_order.h"
#include "base/error.h"
#include "compression/buffer_format.h"
#include "compression/lz_decoder.h"
#include "payload/payload_container_writer.h"

namespace qvn::pack {
namespace {

// The 32-bit stored size that starts a chunk's record: its streams'
// total, or the chunk's own size, which marks it as stored raw.
std::vector<std::uint8_t> ChunkRecordHeader(std::size_t storedSize) {
  std::vector<std::uint8_t> header(compression::kChunkRecordHeaderSize);
  StoreLe32(header.data(), static_cast<std::uint32_t>(storedSize));
  return header;
}

// Appends the bytes of a chunk stored raw to its record: those of its
// segments, each decoded back from its stream where they were not kept,
// after the bytes before it that its matches reach.
void AppendRawChunk(std::span<const Segment> segments, const std::vector<std::vector<std::uint8_t>>& streams,
                    std::span<EncodedSegment> encoded, std::size_t chunkSize,
                    std::vector<std::vector<std::uint8_t>>& record, const std::string& name) {
  if (std::ranges::none_of(encoded, [](const EncodedSegment& segment) { return segment.raw.empty(); })) {
    for (EncodedSegment& segment : encoded) record.push_back(std::move(segment.raw));
    return;
  }
  std::vector<std::uint8_t>& bytes = record.emplace_back(chunkSize);
  const auto tables = std::make_unique<compression::HuffmanDecoder>();
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const Segment& segment = segments[i];
    if (!encoded[i].raw.empty()) {
      std::ranges::copy(encoded[i].raw, bytes.begin() + segment.from);
    } else if (!compression::DecodeLzHuffman(streams[i], std::span(bytes).first(segment.to), segment.from, *tables)) {
      throw Error(name + ": a segment just encoded does not decode");
    }
  }
}

}  // namespace

RecordAssembler::RecordAssembler(const std::vector<PackFileInfo>& files, const UnitPlan& plan,
                                 const FileDigests& digests, OrderedOutput& out)
    : files_(files),
      plan_(plan),
      digests_(digests),
      out_(out),
      chunks_(plan.chunks.size()),
      chunksLeft_(files.size(), 0) {
  for (std::size_t i = 0; i < plan.chunks.size(); ++i) {
    chunks_[i].segmentsLeft = plan.chunks[i].segmentCount;
    ++chunksLeft_[plan.chunks[i].file];
  }
  out_.Queue(ContainerHeaderBytes(static_cast<std::uint32_t>(files.size())));
  QueueCompleteFiles();
}

void RecordAssembler::Finish(std::size_t unit, std::span<EncodedSegment> encoded) {
  for (const Segment& segment : plan_.SegmentsOf(plan_.units[unit])) {
    if (--chunks_[segment.chunk].segmentsLeft == 0) FinishChunk(segment.chunk, encoded);
  }
  QueueCompleteFiles();
}

// A chunk's record, as pieces to be given out: a file's first record starts
// with the stream header.
void RecordAssembler::FinishChunk(std::size_t index, std::span<EncodedSegment> encoded) {
  const Chunk& chunk = plan_.chunks[index];
  ChunkState& state = chunks_[index];
  const std::span<EncodedSegment> segments = encoded.subspan(chunk.firstSegment, chunk.segmentCount);
  if (chunk.offset == 0) {
    const auto header = compression::BufferHeader(files_[chunk.file].size);
    state.record.emplace_back(header.begin(), header.end());
  }
  std::vector<std::vector<std::uint8_t>> streams;
  streams.reserve(segments.size());
  for (EncodedSegment& segment : segments) streams.push_back(std::move(segment.stream));
  if (compression::ChunkEncoder::KeepsSegments(chunk.size, streams)) {
    std::size_t storedSize = 0;
    for (const std::vector<std::uint8_t>& stream : streams) storedSize += stream.size();
    state.record.push_back(ChunkRecordHeader(storedSize));
    for (std::vector<std::uint8_t>& stream : streams) state.record.push_back(std::move(stream));
  } else {
    state.record.push_back(ChunkRecordHeader(chunk.size));
    AppendRawChunk(plan_.SegmentsOf(chunk), streams, segments, chunk.size, state.record, files_[chunk.file].storedName);
  }
  for (EncodedSegment& segment : segments) segment = {};
  for (const std::vector<std::uint8_t>& piece : state.record) state.recordSize += piece.size();
  --chunksLeft_[chunk.file];
}

void RecordAssembler::QueueCompleteFiles() {
  for (; nextQueued_ < plan_.order.size() && chunksLeft_[plan_.order[nextQueued_]] == 0; ++nextQueued_) {
    const std::size_t file = plan_.order[nextQueued_];
    std::uint64_t storedSize = 0;
    std::size_t end = nextChunk_;
    for (; end < plan_.chunks.size() && plan_.chunks[end].file == file; ++end) storedSize += chunks_[end].recordSize;
    ContainerRecord record;
    record.name = files_[file].storedName;
    record.expandedSize = static_cast<std::uint32_t>(files_[file].size);
    record.digest = digests_.Of(file);
    out_.Queue(RecordHeaderBytes(record, static_cast<std::uint32_t>(storedSize)));
    for (; nextChunk_ < end; ++nextChunk_) {
      for (std::vector<std::uint8_t>& piece : chunks_[nextChunk_].record) out_.Queue(std::move(piece));
      chunks_[nextChunk_].record = {};
    }
  }
}

}  // namespace qvn::pack
