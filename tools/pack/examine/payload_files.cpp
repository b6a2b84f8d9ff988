#include "tools/pack/examine/payload_files.h"

#include "payload/entry_check.h"
#include "payload/payload_manifest.h"
#include "tools/pack/examine/payload_source.h"
#include "tools/pack/examine/payload_verification.h"
#include "tools/pack/examine/stored_name.h"
#include "tools/pack/packing/worker_pool.h"

namespace qvn::pack {

std::vector<PayloadFile> ReadPayloadFiles(std::span<const std::uint8_t> file,
                                          const std::function<bool(const std::string&)>& wanted) {
  const VerificationReport report = VerifyPayloadFile(file, MachineThreadCount());
  if (!report.passed()) {
    std::string text = "damaged:";
    for (const VerificationFailure& failure : report.failures) text += "\n  " + failure.text;
    throw PayloadFilesRefused(text, report.failures);
  }
  const PayloadManifest manifest = ParsePayloadManifest(LocatePayload(file).payload);
  PortableStreamDecoder decoder;
  std::vector<PayloadFile> files;
  for (const PayloadEntry& entry : manifest) {
    std::string name = StoredName(entry);
    if (!wanted(name)) continue;
    std::vector<std::uint8_t> expanded(entry.expandedSize);
    CheckEntryContents(entry, expanded, decoder);
    files.push_back({std::move(name), std::move(expanded)});
  }
  return files;
}

}  // namespace qvn::pack
