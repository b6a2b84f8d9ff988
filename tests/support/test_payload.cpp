#include "tests/support/test_payload.h"

#include "base/sha256.h"
#include "compression/buffer_format.h"

namespace qvn::testing {

std::array<std::uint8_t, 32> Sha256Of(const std::vector<std::uint8_t>& bytes) { return HashSha256(bytes); }

ContainerRecord RecordFor(const TestFile& file) {
  ContainerRecord record;
  record.name = file.name;
  record.expandedSize = static_cast<std::uint32_t>(file.contents.size());
  record.digest = Sha256Of(file.contents);
  if (!file.contents.empty()) record.storedData = compression::EncodeBuffer(file.contents);
  return record;
}

}  // namespace qvn::testing
