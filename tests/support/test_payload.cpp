#include "tests/support/test_payload.h"

#include "base/sha256.h"
#include "compression/buffer_format.h"
#include "tests/support/scratch_directory.h"

namespace qvn::testing {

std::vector<std::uint8_t> Bytes(const std::string& text) { return std::vector<std::uint8_t>(text.begin(), text.end()); }

std::array<std::uint8_t, 32> Sha256Of(const std::vector<std::uint8_t>& bytes) { return HashSha256(bytes); }

ContainerRecord RecordFor(const TestFile& file) {
  ContainerRecord record;
  record.name = file.name;
  record.expandedSize = static_cast<std::uint32_t>(file.contents.size());
  record.digest = Sha256Of(file.contents);
  if (!file.contents.empty()) record.storedData = compression::EncodeBuffer(file.contents);
  return record;
}

std::vector<std::uint8_t> BuildPayload(const std::vector<TestFile>& files) {
  std::vector<ContainerRecord> records;
  records.reserve(files.size());
  for (const TestFile& file : files) records.push_back(RecordFor(file));
  return WritePayloadContainer(records);
}

}  // namespace qvn::testing
