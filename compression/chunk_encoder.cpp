#include "compression/chunk_encoder.h"

#include <cstring>

#include "compression/byte_order.h"

namespace qvn::compression {

ChunkEncoder::ChunkEncoder(Level level) : encoder_(level) {}

void ChunkEncoder::AppendRecord(std::span<const std::uint8_t> chunk, std::vector<std::uint8_t>& out,
                                const LzEncoder::BlockDone& blockDone) {
  // A chunk is stored raw unless its stream comes out strictly smaller: a
  // stored size equal to the expanded size is what marks a raw chunk.
  const std::span<const std::uint8_t> stream = encoder_.Encode(chunk, blockDone);
  const bool packed = !stream.empty() && stream.size() < chunk.size();
  const std::span<const std::uint8_t> record = packed ? stream : chunk;
  const std::size_t recordStart = out.size();
  out.resize(recordStart + kChunkRecordHeaderSize + record.size());
  StoreLe32(out.data() + recordStart, static_cast<std::uint32_t>(record.size()));
  std::memcpy(out.data() + recordStart + kChunkRecordHeaderSize, record.data(), record.size());
}

}  // namespace qvn::compression
