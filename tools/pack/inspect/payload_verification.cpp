#include "tools/pack/inspect/payload_verification.h"

#include <algorithm>
#include <optional>

#include "compression/buffer_format.h"
#include "base/error.h"
#include "payload/payload_manifest.h"
#include "tools/pack/inspect/payload_source.h"
#include "base/sha256.h"
#include "tools/pack/inspect/stored_name.h"

namespace qvn::pack {
namespace {

// The Windows error codes the launcher's decompressor reports.
constexpr std::uint32_t kInsufficientBuffer = 122;
constexpr std::uint32_t kBadCompressionBuffer = 605;

// The launcher's message for an entry whose bytes are wrong, or nullopt.
std::optional<std::string> CheckEntry(const PayloadEntry& entry) {
  std::vector<std::uint8_t> expanded(entry.expandedSize);
  if (!expanded.empty()) {
    const compression::DecodeResult result = compression::DecodeBuffer(entry.storedData, expanded);
    if (result.status == compression::DecodeStatus::kBadData) {
      return WithWindowsErrorCode("Portable runtime decompression failed", kBadCompressionBuffer);
    }
    if (result.status == compression::DecodeStatus::kBufferTooSmall) {
      return WithWindowsErrorCode("Portable runtime decompression failed", kInsufficientBuffer);
    }
    if (result.produced != expanded.size()) return "Portable expanded file size mismatch";
  }
  const Sha256 actual = HashSha256(expanded);
  if (!std::equal(actual.begin(), actual.end(), entry.digest.begin())) return "Portable file SHA-256 mismatch";
  return std::nullopt;
}

void CheckPayloadDigest(const PayloadSource& source, VerificationReport& report) {
  if (!source.expectedDigest) {
    report.failures.push_back(
        "resource 102: Portable EXE has no embedded runtime. Use the complete portable EXE. (no payload digest)");
    return;
  }
  const Sha256 actual = HashSha256(source.payload);
  const std::span<const std::uint8_t> expected = *source.expectedDigest;
  if (!std::equal(actual.begin(), actual.end(), expected.begin(), expected.end())) {
    report.failures.push_back("payload digest (resource 102): Embedded runtime SHA-256 mismatch");
  }
}

}  // namespace

VerificationReport VerifyPayloadFile(std::span<const std::uint8_t> file, const PackProgress& progress) {
  VerificationReport report;
  PayloadSource source;
  try {
    source = LocatePayload(file);
  } catch (const PayloadSourceError& error) {
    report.failures.push_back(std::string("executable: ") + error.what());
    return report;
  }
  report.fromExecutable = source.fromExecutable;
  if (source.fromExecutable) CheckPayloadDigest(source, report);

  PayloadManifest manifest;
  try {
    manifest = ParsePayloadManifest(source.payload);
  } catch (const Error& error) {
    report.failures.push_back(std::string("container: ") + error.what());
    return report;
  }

  std::uint64_t total = 0;
  for (const PayloadEntry& entry : manifest) total += entry.expandedSize;
  for (const PayloadEntry& entry : manifest) {
    if (const std::optional<std::string> failure = CheckEntry(entry)) {
      report.failures.push_back(StoredName(entry) + ": " + *failure);
    }
    report.expandedTotal += entry.expandedSize;
    if (progress) progress(report.expandedTotal, total);
  }
  report.fileCount = manifest.size();
  return report;
}

}  // namespace qvn::pack
