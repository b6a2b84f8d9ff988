#include "payload/payload_container_writer.h"

#include <string_view>

namespace qvn {
namespace {

void AppendLittleEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

}  // namespace

std::vector<std::uint8_t> WritePayloadContainer(const std::vector<ContainerRecord>& records) {
  constexpr std::string_view magic = "QVNPORT1";
  // One allocation: the stored data of a game is tens of megabytes.
  std::size_t size = magic.size() + 4;
  for (const ContainerRecord& record : records) size += 12 + record.digest.size() + record.name.size() + record.storedData.size();
  std::vector<std::uint8_t> out;
  out.reserve(size);
  out.assign(magic.begin(), magic.end());
  AppendLittleEndian32(out, static_cast<std::uint32_t>(records.size()));
  for (const ContainerRecord& record : records) {
    AppendLittleEndian32(out, static_cast<std::uint32_t>(record.name.size()));
    AppendLittleEndian32(out, record.expandedSize);
    AppendLittleEndian32(out, static_cast<std::uint32_t>(record.storedData.size()));
    out.insert(out.end(), record.digest.begin(), record.digest.end());
    out.insert(out.end(), record.name.begin(), record.name.end());
    out.insert(out.end(), record.storedData.begin(), record.storedData.end());
  }
  return out;
}

}  // namespace qvn
