#include "tools/pack/examine/packed_output_check.h"

#include <future>
#include <string>
#include <vector>

#include "base/error.h"
#include "payload/payload_fault.h"
#include "payload/payload_manifest.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/examine/payload_verification.h"
#include "tools/pack/packing/packer_fault.h"

namespace qvn::pack {

void CheckPackedOutput(std::span<const std::uint8_t> file) {
  const VerificationReport report = VerifyPayloadFile(file);
  if (report.passed()) return;
  std::vector<std::string> failures;
  for (const VerificationFailure& failure : report.failures) failures.push_back(failure.text);
  throw Error(PackerFaultText(failures));
}

void CheckWrittenOutput(const std::filesystem::path& written) { CheckPackedOutput(ReadFileBytes(written)); }

void CheckWrittenPayload(const std::filesystem::path& written, const Sha256& checked) {
  const std::vector<std::uint8_t> payload = ReadFileBytes(written);
  if (HashSha256(payload) != checked) {
    throw Error(PackerFaultText({"payload: the bytes written are not the bytes checked"}));
  }
  try {
    ParsePayloadManifest(payload);
  } catch (const PayloadError& error) {
    throw Error(PackerFaultText({std::string("container: ") + error.what()}));
  }
}

void WriteCheckedOutput(const std::filesystem::path& path, std::span<const std::uint8_t> file) {
  // Declared first, so that a failed write still waits for the check to end
  // before `file` can go.
  std::future<void> check = std::async(std::launch::async, [file] { CheckPackedOutput(file); });
  WriteFileBytes(path, file, [&check](const std::filesystem::path&) { check.get(); });
}

}  // namespace qvn::pack
