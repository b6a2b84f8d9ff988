#include "payload/payload_fault.h"

namespace qvn {

std::string_view PayloadFaultMessage(PayloadFault fault) {
  switch (fault) {
    case PayloadFault::kNoEmbeddedRuntime:
      return "Portable EXE has no embedded runtime. Use the complete portable EXE.";
    case PayloadFault::kInvalidResourceSize:
      return "Invalid portable resource size";
    case PayloadFault::kCannotReadResource:
      return "Cannot read portable resource";
    case PayloadFault::kPayloadDigestMismatch:
      return "Embedded runtime SHA-256 mismatch";
    case PayloadFault::kTruncatedPayload:
      return "Truncated portable payload";
    case PayloadFault::kUnsupportedFormat:
      return "Unsupported portable payload format";
    case PayloadFault::kInvalidFileCount:
      return "Invalid portable file count";
    case PayloadFault::kExpandedSizeLimit:
      return "Portable expanded size limit exceeded";
    case PayloadFault::kInvalidEmptyFile:
      return "Invalid empty portable file";
    case PayloadFault::kReservedStatePath:
      return "Reserved portable state path in runtime payload";
    case PayloadFault::kConflictingPaths:
      return "Conflicting portable payload paths";
    case PayloadFault::kIncompleteOrTrailingData:
      return "Incomplete or trailing portable payload data";
    case PayloadFault::kNameLength:
      return "Invalid portable filename length";
    case PayloadFault::kUnsafeNameByte:
      return "Unsafe portable filename";
    case PayloadFault::kUnsafePathComponent:
      return "Unsafe portable path component";
    case PayloadFault::kDeviceName:
      return "Reserved Windows device filename in portable payload";
    case PayloadFault::kDecompressionFailed:
      return "Portable runtime decompression failed";
    case PayloadFault::kExpandedSizeMismatch:
      return "Portable expanded file size mismatch";
    case PayloadFault::kFileDigestMismatch:
      return "Portable file SHA-256 mismatch";
  }
  return "Invalid portable payload";
}

PayloadError::PayloadError(PayloadFault fault) : Error(PayloadFaultMessage(fault)), fault_(fault) {}

PayloadError::PayloadError(PayloadFault fault, std::uint32_t windowsErrorCode)
    : Error(PayloadFaultMessage(fault), windowsErrorCode), fault_(fault) {}

}  // namespace qvn
