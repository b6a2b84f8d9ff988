#include "compression/chunk_encoder.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"

namespace qvn::compression {
namespace {

void AppendRaw(std::span<const std::uint8_t> chunk, std::vector<std::uint8_t>& out, std::size_t recordStart) {
  // A stored size equal to the expanded size is what marks a raw chunk.
  out.resize(recordStart + kChunkRecordHeaderSize + chunk.size());
  StoreLe32(out.data() + recordStart, static_cast<std::uint32_t>(chunk.size()));
  std::memcpy(out.data() + recordStart + kChunkRecordHeaderSize, chunk.data(), chunk.size());
}

}  // namespace

ChunkEncoder::ChunkEncoder(Level level) : encoder_(level), level_(level) {}

void ChunkEncoder::AppendRecord(std::span<const std::uint8_t> chunk, std::vector<std::uint8_t>& out,
                                const LzEncoder::BlockDone& blockDone) {
  // A chunk is stored raw unless every segment kept its stream and they
  // come out strictly smaller than the chunk, as AppendRecordOfSegments
  // decides.
  const std::size_t recordStart = out.size();
  out.resize(recordStart + kChunkRecordHeaderSize);
  const auto size = static_cast<std::uint32_t>(chunk.size());
  const std::uint32_t segmentSize = LzEncoder::SegmentSize(level_);
  for (std::uint32_t from = 0; from < size; from += std::min(segmentSize, size - from)) {
    const std::span<const std::uint8_t> stream =
        encoder_.EncodeSegment(chunk, from, from + std::min(segmentSize, size - from), blockDone);
    if (stream.empty() || out.size() - recordStart - kChunkRecordHeaderSize + stream.size() >= chunk.size()) {
      AppendRaw(chunk, out, recordStart);
      return;
    }
    out.insert(out.end(), stream.begin(), stream.end());
  }
  StoreLe32(out.data() + recordStart, static_cast<std::uint32_t>(out.size() - recordStart - kChunkRecordHeaderSize));
}

bool ChunkEncoder::KeepsSegments(std::size_t chunkSize, std::span<const std::size_t> streamSizes) {
  std::size_t total = 0;
  for (const std::size_t size : streamSizes) {
    if (size == 0) return false;
    total += size;
  }
  return total < chunkSize;
}

}  // namespace qvn::compression
