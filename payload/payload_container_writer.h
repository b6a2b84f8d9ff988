#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "payload/payload_contract.h"

namespace qvn {

// One file record as it is stored. Nothing here is checked: the writer also
// serves to build deliberately malformed payloads.
struct ContainerRecord {
  std::string name;  // stored name bytes, no terminator
  std::uint32_t expandedSize = 0;
  std::array<std::uint8_t, kDigestSize> digest{};
  std::vector<std::uint8_t> storedData;
};

// The container's first bytes, for a payload of `fileCount` records.
std::vector<std::uint8_t> ContainerHeaderBytes(std::uint32_t fileCount);

// What precedes a record's stored data: its lengths, digest and name, for
// `storedSize` bytes of stored data (record.storedData is not looked at).
std::vector<std::uint8_t> RecordHeaderBytes(const ContainerRecord& record, std::uint32_t storedSize);

// Serializes the header and the records in order: the file count is
// records.size(), and each record's name and stored lengths are the sizes of
// its name and storedData.
std::vector<std::uint8_t> WritePayloadContainer(const std::vector<ContainerRecord>& records);

}  // namespace qvn
