#include "payload/payload_container_writer.h"

#include <algorithm>
#include <string_view>

#include "base/little_endian_field.h"
#include "payload/payload_contract.h"

namespace qvn {

std::vector<std::uint8_t> ContainerHeaderBytes(std::uint32_t fileCount) {
  std::vector<std::uint8_t> out(kContainerHeaderSize);
  std::copy(kPayloadMagic.begin(), kPayloadMagic.end(), out.begin());
  StoreField(out.data(), kContainerFileCount, fileCount);
  return out;
}

std::vector<std::uint8_t> RecordHeaderBytes(const ContainerRecord& record, std::uint32_t storedSize) {
  std::vector<std::uint8_t> out(kRecordHeadSize);
  out.reserve(kRecordHeadSize + record.name.size());
  StoreField(out.data(), kRecordNameLength, static_cast<std::uint32_t>(record.name.size()));
  StoreField(out.data(), kRecordExpandedSize, record.expandedSize);
  StoreField(out.data(), kRecordStoredSize, storedSize);
  std::copy(record.digest.begin(), record.digest.end(), out.begin() + static_cast<std::ptrdiff_t>(kRecordDigestOffset));
  out.insert(out.end(), record.name.begin(), record.name.end());
  return out;
}

std::vector<std::uint8_t> WritePayloadContainer(const std::vector<ContainerRecord>& records) {
  // One allocation: the stored data of a game is tens of megabytes.
  std::size_t size = kContainerHeaderSize;
  for (const ContainerRecord& record : records) size += kRecordHeadSize + record.name.size() + record.storedData.size();
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
