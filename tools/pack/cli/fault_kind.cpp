#include "tools/pack/cli/fault_kind.h"

namespace qvn::pack {

std::string_view PayloadFaultKind(PayloadFault fault) {
  switch (fault) {
    case PayloadFault::kNoEmbeddedRuntime:
      return "no-embedded-runtime";
    case PayloadFault::kInvalidResourceSize:
      return "invalid-resource-size";
    case PayloadFault::kCannotReadResource:
      return "cannot-read-resource";
    case PayloadFault::kPayloadDigestMismatch:
      return "payload-digest-mismatch";
    case PayloadFault::kTruncatedPayload:
      return "truncated-payload";
    case PayloadFault::kUnsupportedFormat:
      return "unsupported-format";
    case PayloadFault::kInvalidFileCount:
      return "invalid-file-count";
    case PayloadFault::kExpandedSizeLimit:
      return "expanded-size-limit";
    case PayloadFault::kInvalidEmptyFile:
      return "invalid-empty-file";
    case PayloadFault::kReservedStatePath:
      return "reserved-state-path";
    case PayloadFault::kConflictingPaths:
      return "conflicting-paths";
    case PayloadFault::kIncompleteOrTrailingData:
      return "incomplete-or-trailing-data";
    case PayloadFault::kNameLength:
      return "name-length";
    case PayloadFault::kUnsafeNameByte:
      return "unsafe-name-byte";
    case PayloadFault::kUnsafePathComponent:
      return "unsafe-path-component";
    case PayloadFault::kDeviceName:
      return "device-name";
    case PayloadFault::kDecompressionFailed:
      return "decompression-failed";
    case PayloadFault::kExpandedSizeMismatch:
      return "expanded-size-mismatch";
    case PayloadFault::kFileDigestMismatch:
      return "file-digest-mismatch";
  }
  return "invalid-payload";
}

std::string_view CommandFaultKind(CommandFault fault) {
  switch (fault) {
    case CommandFault::kInput:
      return "input-refused";
    case CommandFault::kOutputPlace:
      return "output-place";
    case CommandFault::kNotExaminable:
      return "not-a-launcher-or-payload";
  }
  return "input-refused";
}

std::string_view DumpFaultKind(DumpFault fault) {
  switch (fault) {
    case DumpFault::kNotAMinidump:
      return "not-a-minidump";
    case DumpFault::kTruncated:
    case DumpFault::kBadRecord:
      return "damaged-dump";
    case DumpFault::kNotX64:
      return "unsupported-dump";
  }
  return "damaged-dump";
}

}  // namespace qvn::pack
