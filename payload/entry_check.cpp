#include "payload/entry_check.h"

#include <algorithm>

#include "base/sha256.h"
#include "compression/buffer_format.h"
#include "payload/payload_contract.h"
#include "payload/payload_fault.h"

namespace qvn {

std::uint32_t DecodeErrorCode(const compression::DecodeResult& result) {
  switch (result.status) {
    case compression::DecodeStatus::kOk:
      return 0;
    case compression::DecodeStatus::kBufferTooSmall:
      return kErrorInsufficientBuffer;
    case compression::DecodeStatus::kBadData:
      break;
  }
  return kErrorBadCompressionBuffer;
}

std::uint32_t PortableStreamDecoder::Decode(std::span<const std::uint8_t> stored, std::span<std::uint8_t> expanded,
                                            std::size_t& produced) {
  const compression::DecodeResult result = compression::DecodeBuffer(stored, expanded, tables_, secondThread_);
  const std::uint32_t code = DecodeErrorCode(result);
  // The API states the size it needs when the buffer is too small.
  produced = static_cast<std::size_t>(code == kErrorInsufficientBuffer ? result.required : result.produced);
  return code;
}

void RefuseFailedDecode(const PayloadEntry& entry, std::uint32_t code, std::uint64_t produced) {
  if (code != 0) throw PayloadError(PayloadFault::kDecompressionFailed, code);
  if (produced != entry.expandedSize) throw PayloadError(PayloadFault::kExpandedSizeMismatch);
}

void RefuseOtherDigest(const PayloadEntry& entry, const Sha256& digest) {
  if (!std::equal(digest.begin(), digest.end(), entry.digest.begin())) {
    throw PayloadError(PayloadFault::kFileDigestMismatch);
  }
}

void CheckEntryContents(const PayloadEntry& entry, std::span<std::uint8_t> expanded, StreamDecoder& decoder) {
  // An empty file has no stream: only its digest is checked.
  if (entry.expandedSize != 0) {
    std::size_t produced = 0;
    const std::uint32_t code = decoder.Decode(entry.storedData, expanded, produced);
    RefuseFailedDecode(entry, code, produced);
  }
  RefuseOtherDigest(entry, HashSha256(expanded));
}

}  // namespace qvn
