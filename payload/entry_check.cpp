#include "payload/entry_check.h"

#include <algorithm>

#include "base/sha256.h"
#include "compression/buffer_format.h"
#include "payload/payload_contract.h"
#include "payload/payload_fault.h"

namespace qvn {

std::uint32_t PortableStreamDecoder::Decode(std::span<const std::uint8_t> stored, std::span<std::uint8_t> expanded,
                                            std::size_t& produced) {
  const compression::DecodeResult result = compression::DecodeBuffer(stored, expanded, tables_, secondThread_);
  switch (result.status) {
    case compression::DecodeStatus::kOk:
      produced = static_cast<std::size_t>(result.produced);
      return 0;
    case compression::DecodeStatus::kBufferTooSmall:
      produced = static_cast<std::size_t>(result.required);
      return kErrorInsufficientBuffer;
    case compression::DecodeStatus::kBadData:
      break;
  }
  produced = 0;
  return kErrorBadCompressionBuffer;
}

void CheckEntryContents(const PayloadEntry& entry, std::span<std::uint8_t> expanded, StreamDecoder& decoder) {
  // An empty file has no stream: only its digest is checked.
  if (entry.expandedSize != 0) {
    std::size_t produced = 0;
    if (const std::uint32_t code = decoder.Decode(entry.storedData, expanded, produced); code != 0) {
      throw PayloadError(PayloadFault::kDecompressionFailed, code);
    }
    if (produced != entry.expandedSize) throw PayloadError(PayloadFault::kExpandedSizeMismatch);
  }
  const Sha256 digest = HashSha256(expanded);
  if (!std::equal(digest.begin(), digest.end(), entry.digest.begin())) {
    throw PayloadError(PayloadFault::kFileDigestMismatch);
  }
}

}  // namespace qvn
