// The PE and resource reader on any bytes, as `list`, `verify` and
// `extract` read a launcher that a player sent. Every resource it finds
// must lie inside the file, and FindRcDataResource must agree with it.
// When the writer also takes the image, the resources it writes must read
// back as the same tree, and writing the result again must change nothing.

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <tuple>
#include <vector>

#include "payload/payload_contract.h"
#include "tests/fuzz/fuzz_require.h"
#include "tools/pack/image/pe_image.h"
#include "tools/pack/image/pe_resource_reader.h"
#include "tools/pack/image/pe_resource_writer.h"

namespace {

using qvn::pack::PeResource;

using qvn::fuzz::Require;

bool Inside(std::span<const std::uint8_t> part, std::span<const std::uint8_t> file) {
  return part.empty() || (part.data() >= file.data() && part.data() + part.size() <= file.data() + file.size());
}

using Place = std::tuple<qvn::pack::ResourceName, qvn::pack::ResourceName, std::uint16_t>;
using Tree = std::map<Place, std::vector<std::uint8_t>>;

// Where two resources share a place the writer keeps the later one, and so
// does this.
Tree TreeOf(const std::vector<PeResource>& resources) {
  Tree tree;
  for (const PeResource& resource : resources) {
    tree[{resource.type, resource.name, resource.language}].assign(resource.bytes.begin(), resource.bytes.end());
  }
  return tree;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qvn::pack;
  const std::span<const std::uint8_t> image(data, size);
  std::vector<PeResource> resources;
  try {
    resources = ReadPeResources(image);
  } catch (const PeFormatError&) {
    return 0;
  }
  const PeResource* firstPayload = nullptr;
  for (const PeResource& resource : resources) {
    Require(Inside(resource.bytes, image));
    if (!firstPayload && resource.type == ResourceName(kResourceTypeRcData) &&
        resource.name == ResourceName(qvn::kPayloadResourceId)) {
      firstPayload = &resource;
    }
  }
  const auto found = FindRcDataResource(image, qvn::kPayloadResourceId);
  Require(found.has_value() == (firstPayload != nullptr));
  Require(!found || (found->data() == firstPayload->bytes.data() && found->size() == firstPayload->bytes.size()));

  std::vector<std::uint8_t> written;
  try {
    written = WriteResources(image, {});
  } catch (const PeRewriteRefused&) {
    return 0;
  }
  // Anything the writer makes, the reader and the writer must take again.
  Require(TreeOf(ReadPeResources(written)) == TreeOf(resources));
  Require(WriteResources(written, {}) == written);
  const std::uint64_t checksumAt = PeChecksumOffset(written);
  const std::uint32_t checksum = std::uint32_t{written[checksumAt]} | (std::uint32_t{written[checksumAt + 1]} << 8) |
                                 (std::uint32_t{written[checksumAt + 2]} << 16) |
                                 (std::uint32_t{written[checksumAt + 3]} << 24);
  Require(checksum == ComputePeChecksum(written, checksumAt));
  return 0;
}
