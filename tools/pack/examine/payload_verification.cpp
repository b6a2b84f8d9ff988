#include "tools/pack/examine/payload_verification.h"

#include <algorithm>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "payload/entry_check.h"
#include "payload/payload_contract.h"
#include "payload/payload_fault.h"
#include "payload/payload_manifest.h"
#include "tools/pack/examine/payload_source.h"
#include "tools/pack/examine/stored_name.h"
#include "tools/pack/image/pe_resource_reader.h"

namespace qvn::pack {
namespace {

std::optional<VerificationFailure> PayloadDigestFailure(const PayloadSource& source) {
  if (!source.expectedDigest) {
    return VerificationFailure{"resource " + std::to_string(kPayloadDigestResourceId) + ": " +
                                   std::string(PayloadFaultMessage(PayloadFault::kNoEmbeddedRuntime)) +
                                   " (no payload digest)",
                               PayloadFault::kNoEmbeddedRuntime};
  }
  const Sha256 actual = HashSha256(source.payload);
  const std::span<const std::uint8_t> expected = *source.expectedDigest;
  if (std::equal(actual.begin(), actual.end(), expected.begin(), expected.end())) return std::nullopt;
  return VerificationFailure{"payload digest (resource " + std::to_string(kPayloadDigestResourceId) +
                                 "): " + std::string(PayloadFaultMessage(PayloadFault::kPayloadDigestMismatch)),
                             PayloadFault::kPayloadDigestMismatch};
}

// Every rule of the container and of each entry, in stored order.
void CheckContents(std::span<const std::uint8_t> payload, const PackProgress& progress, VerificationReport& report) {
  PayloadManifest manifest;
  try {
    manifest = ParsePayloadManifest(payload);
  } catch (const PayloadError& error) {
    report.failures.push_back({std::string("container: ") + error.what(), error.fault()});
    return;
  }

  std::uint64_t total = 0;
  for (const PayloadEntry& entry : manifest) total += entry.expandedSize;
  PortableStreamDecoder decoder;
  for (const PayloadEntry& entry : manifest) {
    std::vector<std::uint8_t> expanded(entry.expandedSize);
    try {
      CheckEntryContents(entry, expanded, decoder);
    } catch (const PayloadError& failure) {
      // The fault's own message: the Windows error code that the launcher's
      // decompressor would add means nothing on the packer's host.
      report.failures.push_back(
          {StoredName(entry) + ": " + std::string(PayloadFaultMessage(failure.fault())), failure.fault()});
    }
    report.expandedTotal += entry.expandedSize;
    if (progress) progress(report.expandedTotal, total);
  }
  report.fileCount = manifest.size();
}

}  // namespace

VerificationReport VerifyPayloadFile(std::span<const std::uint8_t> file, const PackProgress& progress) {
  VerificationReport report;
  report.fromExecutable = LooksLikePeImage(file);
  PayloadSource source;
  try {
    source = LocatePayload(file);
  } catch (const PayloadSourceError& error) {
    report.failures.push_back({std::string("executable: ") + error.what(), error.fault()});
    return report;
  }
  report.payloadFound = true;
  // The payload's digest and its entries are independent checks: the digest
  // is taken on a second core meanwhile.
  std::future<std::optional<VerificationFailure>> digestFailure;
  if (source.fromExecutable) {
    digestFailure = std::async(std::launch::async, [&source] { return PayloadDigestFailure(source); });
  }
  CheckContents(source.payload, progress, report);
  if (digestFailure.valid()) {
    if (std::optional<VerificationFailure> failure = digestFailure.get()) {
      report.failures.insert(report.failures.begin(), std::move(*failure));
    }
  }
  return report;
}

}  // namespace qvn::pack
