#include "tools/pack/examine/payload_verification.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "payload/entry_check.h"
#include "payload/payload_contract.h"
#include "payload/payload_fault.h"
#include "payload/payload_manifest.h"
#include "tools/pack/examine/payload_source.h"
#include "tools/pack/examine/stored_name.h"

namespace qvn::pack {
namespace {

void CheckPayloadDigest(const PayloadSource& source, VerificationReport& report) {
  if (!source.expectedDigest) {
    report.failures.push_back("resource " + std::to_string(kPayloadDigestResourceId) + ": " +
                              std::string(PayloadFaultMessage(PayloadFault::kNoEmbeddedRuntime)) +
                              " (no payload digest)");
    return;
  }
  const Sha256 actual = HashSha256(source.payload);
  const std::span<const std::uint8_t> expected = *source.expectedDigest;
  if (!std::equal(actual.begin(), actual.end(), expected.begin(), expected.end())) {
    report.failures.push_back("payload digest (resource " + std::to_string(kPayloadDigestResourceId) +
                              "): " + std::string(PayloadFaultMessage(PayloadFault::kPayloadDigestMismatch)));
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
  } catch (const PayloadError& error) {
    report.failures.push_back(std::string("container: ") + error.what());
    return report;
  }

  std::uint64_t total = 0;
  for (const PayloadEntry& entry : manifest) total += entry.expandedSize;
  PortableStreamDecoder decoder;
  for (const PayloadEntry& entry : manifest) {
    std::vector<std::uint8_t> expanded(entry.expandedSize);
    try {
      CheckEntryContents(entry, expanded, decoder);
    } catch (const PayloadError& failure) {
      report.failures.push_back(StoredName(entry) + ": " + failure.what());
    }
    report.expandedTotal += entry.expandedSize;
    if (progress) progress(report.expandedTotal, total);
  }
  report.fileCount = manifest.size();
  return report;
}

}  // namespace qvn::pack
