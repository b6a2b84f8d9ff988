#include "compression/chunk_by_chunk_decode.h"
#include "payload/entry_check.h"

namespace qvn {

void CheckEntryChunkByChunk(const PayloadEntry& entry, std::span<std::uint8_t> scratch,
                            compression::HuffmanDecoder& tables) {
  Sha256Hasher hasher;
  if (entry.expandedSize != 0) {
    const compression::DecodeResult result = compression::DecodeBufferChunkByChunk(
        entry.storedData, entry.expandedSize, scratch, tables,
        [&hasher](std::span<const std::uint8_t> expanded) { hasher.Update(expanded); });
    RefuseFailedDecode(entry, DecodeErrorCode(result), result.produced);
  }
  RefuseOtherDigest(entry, hasher.Finish());
}

}  // namespace qvn
