#pragma once

#include <cstdint>
#include <string_view>

#include "base/error.h"

namespace qvn {

// Every reason the launcher refuses its payload, in the order of its checks:
// the embedded resources, the container, each stored name, each entry's
// contents.
enum class PayloadFault {
  kNoEmbeddedRuntime,
  kInvalidResourceSize,
  kCannotReadResource,
  kPayloadDigestMismatch,
  kTruncatedPayload,
  kUnsupportedFormat,
  kInvalidFileCount,
  kExpandedSizeLimit,
  kInvalidEmptyFile,
  kReservedStatePath,
  kConflictingPaths,
  kIncompleteOrTrailingData,
  kNameLength,
  kUnsafeNameByte,
  kUnsafePathComponent,
  kDeviceName,
  kDecompressionFailed,
  kExpandedSizeMismatch,
  kFileDigestMismatch,
};

// The launcher's message for a fault, exactly as the player sees it.
std::string_view PayloadFaultMessage(PayloadFault fault);

// A refused payload: the message is the fault's, with the Windows error code
// appended where one is given (decompression).
class PayloadError : public Error {
 public:
  explicit PayloadError(PayloadFault fault);
  PayloadError(PayloadFault fault, std::uint32_t windowsErrorCode);

  PayloadFault fault() const { return fault_; }

 private:
  PayloadFault fault_;
};

}  // namespace qvn
