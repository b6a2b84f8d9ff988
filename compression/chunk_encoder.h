#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "compression/buffer_format.h"
#include "compression/lz_encoder.h"

namespace qvn::compression {

// Encodes the chunks of buffer-mode streams one record at a time, so that
// the chunks of one stream can be encoded apart (on several threads, each
// with its own ChunkEncoder) and joined after the stream's header. Keeps its
// tables and its scratch output between chunks.
class ChunkEncoder {
 public:
  explicit ChunkEncoder(Level level);

  // Appends the record of `chunk` (at most kBufferChunkSize bytes): its
  // 32-bit stored size, then its stream, or the chunk itself when the stream
  // would not be strictly smaller.
  // `blockDone` hears of the chunk's bytes as its blocks are encoded.
  void AppendRecord(std::span<const std::uint8_t> chunk, std::vector<std::uint8_t>& out,
                    const LzEncoder::BlockDone& blockDone = {});

 private:
  LzEncoder encoder_;
};

}  // namespace qvn::compression
