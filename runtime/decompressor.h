#pragma once

#include <cstddef>
#include <memory>
#include <utility>

#include "payload/entry_check.h"

namespace qvn {

// The launcher's XPRESS Huffman decompressor, with the contract of the
// Windows Compression API in buffer mode (which Wine lacks): made once per
// extraction, decompresses whole streams, closed when it goes. Failures set
// the thread's last error as that API does. The decoding itself, and the
// codes, are the portable decoder's that the packer checks entries with.
class Decompressor : public StreamDecoder {
 public:
  // Decodes one whole stream into output[0, capacity). On success *produced
  // is the number of bytes written, which may be less than the capacity.
  // Fails with kErrorBadCompressionBuffer for damaged data, and with
  // kErrorInsufficientBuffer when the stream expands to more than the
  // capacity, *produced then being the size needed. Null pointers (other
  // than an output of capacity 0) fail with ERROR_INVALID_PARAMETER.
  bool Decompress(const void* compressed, std::size_t compressedSize, void* output, std::size_t capacity,
                  std::size_t* produced);

  // The same decoding, its code returned instead of set as the thread's last
  // error: how the entry check uses it.
  std::uint32_t Decode(std::span<const std::uint8_t> stored, std::span<std::uint8_t> expanded,
                       std::size_t& produced) override;

 private:
  friend std::unique_ptr<Decompressor> CreateDecompressor();
  explicit Decompressor(std::unique_ptr<compression::ChunkDecodeThread> secondThread)
      : secondThread_(std::move(secondThread)), decoder_(secondThread_.get()) {}

  std::unique_ptr<compression::ChunkDecodeThread> secondThread_;
  PortableStreamDecoder decoder_;
};

// Raises "Cannot create Windows decompressor" with the system's code when
// the decompressor cannot be made. Starts the thread that decodes half of
// the chunks of files over 64 MiB, which lives as long as the decompressor;
// where none can be started, such files are decoded on one thread.
std::unique_ptr<Decompressor> CreateDecompressor();

}  // namespace qvn
