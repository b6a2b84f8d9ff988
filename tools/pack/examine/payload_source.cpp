#include "tools/pack/examine/payload_source.h"

#include "payload/payload_contract.h"
#include "payload/payload_fault.h"
#include "tools/pack/image/pe_resource_reader.h"

namespace qvn::pack {

PayloadSource LocatePayload(std::span<const std::uint8_t> file) {
  if (!LooksLikePeImage(file)) return {file, std::nullopt, false};
  try {
    const auto payload = FindRcDataResource(file, kPayloadResourceId);
    if (!payload) {
      throw PayloadSourceError(std::string(PayloadFaultMessage(PayloadFault::kNoEmbeddedRuntime)) + " (no RT_RCDATA " +
                                   std::to_string(kPayloadResourceId) + " resource)",
                               PayloadFault::kNoEmbeddedRuntime);
    }
    if (payload->empty() || payload->size() > kMaxPayloadSize) {
      throw PayloadSourceError(std::string(PayloadFaultMessage(PayloadFault::kInvalidResourceSize)) + " (RT_RCDATA " +
                                   std::to_string(kPayloadResourceId) + " holds " + std::to_string(payload->size()) +
                                   " bytes)",
                               PayloadFault::kInvalidResourceSize);
    }
    return {*payload, FindRcDataResource(file, kPayloadDigestResourceId), true};
  } catch (const PeFormatError& error) {
    throw PayloadSourceError(std::string("not a well-formed executable: ") + error.what(), std::nullopt);
  }
}

}  // namespace qvn::pack
