#include "tools/pack/examine/packed_output_check.h"

#include <algorithm>
#include <future>
#include <string>
#include <vector>

#include "base/error.h"
#include "payload/payload_contract.h"
#include "payload/payload_fault.h"
#include "payload/payload_manifest.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/examine/payload_source.h"
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

namespace {

// The checked records' container: the same bytes, and every rule of its
// structure.
void CheckPayloadIsTheOneChecked(std::span<const std::uint8_t> payload, const Sha256& checked,
                                 const std::string& what) {
  if (HashSha256(payload) != checked) {
    throw Error(PackerFaultText({what + ": the bytes written are not the bytes checked"}));
  }
  try {
    ParsePayloadManifest(payload);
  } catch (const PayloadError& error) {
    throw Error(PackerFaultText({std::string("container: ") + error.what()}));
  }
}

}  // namespace

void CheckWrittenPayload(const std::filesystem::path& written, const Sha256& checked) {
  CheckPayloadIsTheOneChecked(ReadFileBytes(written), checked, "payload");
}

void CheckPackedLauncher(std::span<const std::uint8_t> image, const Sha256& checked) {
  PayloadSource source;
  try {
    source = LocatePayload(image);
  } catch (const PayloadSourceError& error) {
    throw Error(PackerFaultText({std::string("executable: ") + error.what()}));
  }
  const std::string digestResource = "resource " + std::to_string(kPayloadDigestResourceId);
  if (!source.fromExecutable || !source.expectedDigest ||
      !std::ranges::equal(*source.expectedDigest, std::span<const std::uint8_t>(checked))) {
    throw Error(PackerFaultText({digestResource + ": not the digest of the payload checked"}));
  }
  CheckPayloadIsTheOneChecked(source.payload, checked, "payload (resource " + std::to_string(kPayloadResourceId) + ")");
}

void WriteCheckedOutput(const std::filesystem::path& path, std::span<const std::uint8_t> file,
                        const std::function<void(std::span<const std::uint8_t>)>& check) {
  // Declared first, so that a failed write still waits for the check to end
  // before `file` can go.
  std::future<void> checked = std::async(std::launch::async, [file, &check] { check(file); });
  WriteFileBytes(path, file, [&checked](const std::filesystem::path&) { checked.get(); });
}

}  // namespace qvn::pack
