#include "tools/pack/examine/packed_output_check.h"

#include <future>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "payload/payload_fault.h"
#include "tools/pack/atomic_write/mapped_file.h"
#include "tools/pack/examine/payload_verification.h"
#include "tools/pack/packing/packer_fault.h"

namespace qvn::pack {

void CheckWrittenOutput(const std::filesystem::path& written, std::span<const CheckedRecord> checked,
                        const std::optional<Sha256>& payloadDigest) {
  // Mapped rather than read: the file is still in the system's cache.
  const MappedFile mapped(written);
  const std::span<const std::uint8_t> file = mapped.bytes();
  // On a core of its own while the entries are checked.
  std::future<bool> digestMatches;
  if (payloadDigest) {
    digestMatches =
        std::async(std::launch::async, [&file, &payloadDigest] { return HashSha256(file) == *payloadDigest; });
  }
  VerificationReport report = VerifyPackedFile(file, checked);
  if (digestMatches.valid() && !digestMatches.get()) {
    report.failures.insert(report.failures.begin(),
                           {"payload digest: " + std::string(PayloadFaultMessage(PayloadFault::kPayloadDigestMismatch)),
                            PayloadFault::kPayloadDigestMismatch});
  }
  if (!report.passed()) {
    std::vector<std::string> failures;
    for (const VerificationFailure& failure : report.failures) failures.push_back(failure.text);
    RaisePackerFault(failures);
  }
}

}  // namespace qvn::pack
