#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/sha256.h"
#include "compression/buffer_format.h"
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

// The same check with the codec itself, a chunk at a time, so that no file
// is ever expanded whole: `scratch` holds one chunk, at least
// compression::ChunkScratchSize(entry.expandedSize) bytes. Raises what
// CheckEntryContents raises, in the same order.
void CheckEntryChunkByChunk(const PayloadEntry& entry, std::span<std::uint8_t> scratch,
                            compression::HuffmanDecoder& tables);

// The steps both checks share. The Windows error code of a decode's
// result: 0 for kOk, else the code the launcher's decompressor fails with.
std::uint32_t DecodeErrorCode(const compression::DecodeResult& result);
// Raises PayloadError for a decode that failed with `code` (0: none) or
// produced other than the entry's expanded size.
void RefuseFailedDecode(const PayloadEntry& entry, std::uint32_t code, std::uint64_t produced);
// Raises PayloadError unless `digest` is the entry's.
void RefuseOtherDigest(const PayloadEntry& entry, const Sha256& digest);

}  // namespace qvn
