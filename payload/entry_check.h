#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "compression/chunk_decode_thread.h"
#include "compression/huffman_decoder.h"
#include "payload/payload_manifest.h"

namespace qvn {

// Decodes whole stored streams with the contract of the Windows Compression
// API in buffer mode: the bytes produced on success, the API's error code
// (kErrorBadCompressionBuffer, kErrorInsufficientBuffer) on failure. The
// launcher's decompressor is one; the packer uses PortableStreamDecoder.
class StreamDecoder {
 public:
  virtual ~StreamDecoder() = default;

  // 0 with `produced` set, or the Windows error code of the failure.
  virtual std::uint32_t Decode(std::span<const std::uint8_t> stored, std::span<std::uint8_t> expanded,
                               std::size_t& produced) = 0;
};

// The codec itself, with tables kept for every stream it decodes, and the
// kept thread for streams over one chunk when given one (else a thread is
// started for each such stream).
class PortableStreamDecoder : public StreamDecoder {
 public:
  PortableStreamDecoder() = default;
  explicit PortableStreamDecoder(compression::ChunkDecodeThread* secondThread) : secondThread_(secondThread) {}

  std::uint32_t Decode(std::span<const std::uint8_t> stored, std::span<std::uint8_t> expanded,
                       std::size_t& produced) override;

 private:
  compression::HuffmanDecoder tables_{};
  compression::ChunkDecodeThread* secondThread_ = nullptr;
};

// Expands one entry into `expanded` (exactly entry.expandedSize bytes) and
// checks it as the launcher does before writing it: decoded without error,
// to exactly the expanded size, and then the SHA-256 of the result equal to
// the entry's digest. Raises PayloadError (kDecompressionFailed with the
// decoder's code, kExpandedSizeMismatch, kFileDigestMismatch) at the first
// that fails.
void CheckEntryContents(const PayloadEntry& entry, std::span<std::uint8_t> expanded, StreamDecoder& decoder);

}  // namespace qvn
