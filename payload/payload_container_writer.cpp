#include "payload/payload_container_writer.h"

#include <string_view>

#include "base/byte_order.h"
#include "payload/payload_contract.h"

namespace qvn {
namespace {

void AppendLittleEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.resize(out.size() + 4);
  StoreLe32(out.data() + out.size() - 4, value);
}

}  // namespace

std::vector<std::uint8_t> ContainerHeaderBytes(std::uint32_t fileCount) {
  std::vector<std::uint8_t> out(kPayloadMagic.begin(), kPayloadMagic.end());
  AppendLittleEndian32(out, fileCount);
  return out;
}

std::vector<std::uint8_t> RecordHeaderBytes(const ContainerRecord& record, std::uint32_t storedSize) {
  std::vector<std::uint8_t> out;
  out.reserve(12 + record.digest.size() + record.name.size());
  AppendLittleEndian32(out, static_cast<std::uint32_t>(record.name.size()));
  AppendLittleEndian32(out, record.expandedSize);
  AppendLittleEndian32(out, storedSize);
  out.insert(out.end(), record.digest.begin(), record.digest.end());
  out.insert(out.end(), record.name.begin(), record.name.end());
  return out;
}

std::vector<std::uint8_t> WritePayloadContainer(const std::vector<ContainerRecord>& records) {
  // One allocation: the stored data of a game is tens of megabytes.
  std::size_t size = kPayloadMagic.size() + 4;
  for (const ContainerRecord& record : records)
    size += 12 + record.digest.size() + record.name.size() + record.storedData.size();
  std::vector<std::uint8_t> out;
  out.reserve(size);
  const std::vector<std::uint8_t> containerHeader = ContainerHeaderBytes(static_cast<std::uint32_t>(records.size()));
  out.insert(out.end(), containerHeader.begin(), containerHeader.end());
  for (const ContainerRecord& record : records) {
    const std::vector<std::uint8_t> header =
        RecordHeaderBytes(record, static_cast<std::uint32_t>(record.storedData.size()));
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), record.storedData.begin(), record.storedData.end());
  }
  return out;
}

}  // namespace qvn
