#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

#include "base/byte_order.h"
#include "compression/buffer_format.h"

namespace qvn::compression {

// One buffer-mode stream as a decoder reads it: the header checked, then
// the chunk records walked in order, each with the part of the output it
// expands to. Shared by whole-stream and chunk-by-chunk decoding, so that
// both refuse exactly the same streams.
class BufferStreamReader {
 public:
  // Reads the header of `input` for an output of `capacity` bytes.
  BufferStreamReader(std::span<const std::uint8_t> input, std::uint64_t capacity);

  // Why the stream cannot be decoded into the capacity, if it cannot.
  const std::optional<DecodeResult>& failure() const { return failure_; }
  std::uint64_t expandedSize() const { return expandedSize_; }
  std::uint32_t chunkSize() const { return chunkSize_; }

  // Calls visit(index, stored, offset, length) for each chunk record in
  // turn, while it returns true: `stored` is the record's bytes, stored raw
  // when its size is `length`, and [offset, offset + length) the part of
  // the output it expands to. False if a record is cut short, there are
  // bytes after the last one, or visit returned false. Only for a stream
  // without failure().
  template <typename Visit>
  bool ForEachChunk(Visit visit) const {
    std::span<const std::uint8_t> rest = records_;
    std::size_t index = 0;
    for (std::uint64_t produced = 0; produced < expandedSize_; ++index) {
      const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize_, expandedSize_ - produced));
      if (rest.size() < kChunkRecordHeaderSize) return false;
      const std::uint32_t storedSize = LoadLe32(rest.data());
      rest = rest.subspan(kChunkRecordHeaderSize);
      if (rest.size() < storedSize ||
          !visit(index, rest.first(storedSize), static_cast<std::size_t>(produced), length)) {
        return false;
      }
      rest = rest.subspan(storedSize);
      produced += length;
    }
    // Bytes after the last record mean the stream is not what its header says.
    return rest.empty();
  }

 private:
  std::span<const std::uint8_t> records_;
  std::uint64_t expandedSize_ = 0;
  std::uint32_t chunkSize_ = 0;
  std::optional<DecodeResult> failure_;
};

}  // namespace qvn::compression
