#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "payload/payload_container_writer.h"

namespace qvn::testing {

struct TestFile {
  std::string name;
  std::vector<std::uint8_t> contents;
};

std::vector<std::uint8_t> Bytes(const std::string& text);
std::array<std::uint8_t, 32> Sha256Of(const std::vector<std::uint8_t>& bytes);

// A correct record for a file: compressed stream, digest, sizes.
ContainerRecord RecordFor(const TestFile& file);

// A payload holding the files in the order given.
std::vector<std::uint8_t> BuildPayload(const std::vector<TestFile>& files);

}  // namespace qvn::testing
