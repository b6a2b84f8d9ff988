#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "compression/buffer_format.h"
#include "compression/lz_encoder.h"

namespace qvn::compression {

// Encodes the chunks of buffer-mode streams one record at a time, so that
// the chunks of one stream, and the segments of one chunk, can be encoded
// apart (on several threads, each with its own ChunkEncoder) and joined.
// Keeps its tables and its scratch output between calls.
class ChunkEncoder {
 public:
  explicit ChunkEncoder(Level level);

  // Appends the record of `chunk` (at most kBufferChunkSize bytes): its
  // 32-bit stored size, then its stream, or the chunk itself when the stream
  // would not be strictly smaller. `blockDone` hears of the chunk's bytes as
  // its blocks are encoded.
  void AppendRecord(std::span<const std::uint8_t> chunk, std::vector<std::uint8_t>& out,
                    const LzEncoder::BlockDone& blockDone = {});

  // The same in parts: the stream of each segment (see LzEncoder), valid
  // until this encoder's next call, then the record from all of them.
  std::span<const std::uint8_t> EncodeSegment(std::span<const std::uint8_t> chunk, std::uint32_t from, std::uint32_t to,
                                              const LzEncoder::BlockDone& blockDone = {}) {
    return encoder_.EncodeSegment(chunk, from, to, blockDone);
  }
  // `streamSizes` are the sizes of the chunk's segments' streams, 0 where a
  // segment gave up. The chunk's record holds the streams, after its stored
  // size, when they are all there and strictly smaller than the chunk
  // together; otherwise it holds the chunk raw.
  static bool KeepsSegments(std::size_t chunkSize, std::span<const std::size_t> streamSizes);

 private:
  LzEncoder encoder_;
  Level level_;
};

}  // namespace qvn::compression
