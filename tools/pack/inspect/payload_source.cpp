#include "tools/pack/inspect/payload_source.h"

#include "tools/pack/build/pack_rules.h"
#include "tools/pack/image/pe_resource_reader.h"

namespace qvn::pack {

PayloadSource LocatePayload(std::span<const std::uint8_t> file) {
  if (!LooksLikePeImage(file)) return {file, std::nullopt, false};
  try {
    const auto payload = FindRcDataResource(file, kPayloadResourceId);
    if (!payload) {
      throw PayloadSourceError(
          "Portable EXE has no embedded runtime. Use the complete portable EXE. (no RT_RCDATA 101 resource)");
    }
    if (payload->empty() || payload->size() > kMaxPayloadSize) {
      throw PayloadSourceError("Invalid portable resource size (RT_RCDATA 101 holds " +
                               std::to_string(payload->size()) + " bytes)");
    }
    return {*payload, FindRcDataResource(file, kPayloadDigestResourceId), true};
  } catch (const PeFormatError& error) {
    throw PayloadSourceError(std::string("not a well-formed executable: ") + error.what());
  }
}

}  // namespace qvn::pack
