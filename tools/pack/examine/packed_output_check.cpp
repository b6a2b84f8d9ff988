#include "tools/pack/examine/packed_output_check.h"

#include <future>
#include <string>

#include "base/error.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/examine/payload_verification.h"

namespace qvn::pack {

void CheckPackedOutput(std::span<const std::uint8_t> file, unsigned jobs) {
  const VerificationReport report = VerifyPayloadFile(file, jobs);
  if (report.passed()) return;
  std::string text =
      "internal error: what was just packed fails the launcher's checks, so it was not written (please report this "
      "fault in qvn_pack):";
  for (const VerificationFailure& failure : report.failures) text += "\n  " + failure.text;
  throw Error(text);
}

void CheckWrittenOutput(const std::filesystem::path& written, unsigned jobs) {
  CheckPackedOutput(ReadFileBytes(written), jobs);
}

void WriteCheckedOutput(const std::filesystem::path& path, std::span<const std::uint8_t> file, unsigned jobs) {
  // Declared first, so that a failed write still waits for the check to end
  // before `file` can go.
  std::future<void> check = std::async(std::launch::async, [file, jobs] { CheckPackedOutput(file, jobs); });
  WriteFileBytes(path, file, [&check](const std::filesystem::path&) { check.get(); });
}

}  // namespace qvn::pack
