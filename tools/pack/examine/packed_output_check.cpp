#include "tools/pack/examine/packed_output_check.h"

#include <future>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/sha256.h"
#include "payload/payload_fault.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/examine/payload_verification.h"

namespace qvn::pack {

namespace {

[[noreturn]] void RaisePackerFault(const VerificationReport& report) {
  std::string text =
      "internal error: what was just packed fails the launcher's checks, so it was not written (please report this "
      "fault in qvn_pack):";
  for (const VerificationFailure& failure : report.failures) text += "\n  " + failure.text;
  throw Error(text);
}

}  // namespace

void CheckWrittenOutput(const std::filesystem::path& written, unsigned jobs,
                        const std::optional<Sha256>& payloadDigest) {
  const std::vector<std::uint8_t> file = ReadFileBytes(written);
  // On a core of its own while the entries are checked.
  std::future<bool> digestMatches;
  if (payloadDigest) {
    digestMatches =
        std::async(std::launch::async, [&file, &payloadDigest] { return HashSha256(file) == *payloadDigest; });
  }
  VerificationReport report = VerifyPayloadFile(file, jobs);
  if (digestMatches.valid() && !digestMatches.get()) {
    report.failures.insert(report.failures.begin(),
                           {"payload digest: " + std::string(PayloadFaultMessage(PayloadFault::kPayloadDigestMismatch)),
                            PayloadFault::kPayloadDigestMismatch});
  }
  if (!report.passed()) RaisePackerFault(report);
}

}  // namespace qvn::pack
