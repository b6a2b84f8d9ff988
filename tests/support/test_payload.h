#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "payload/payload_container_writer.h"
#include "tests/support/text_bytes.h"

namespace qvn::testing {

struct TestFile {
  std::string name;
  std::vector<std::uint8_t> contents;
};

std::array<std::uint8_t, 32> Sha256Of(const std::vector<std::uint8_t>& bytes);

// A correct record for a file: compressed stream, digest, sizes. For
// payloads the packer would refuse to make; see in_memory_payload.h for
// those it makes.
ContainerRecord RecordFor(const TestFile& file);

}  // namespace qvn::testing
