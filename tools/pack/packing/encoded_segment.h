#pragma once

#include <cstdint>
#include <vector>

namespace qvn::pack {

// What encoding one segment gave.
struct EncodedSegment {
  std::vector<std::uint8_t> stream;  // empty where it gave up
  // Its own bytes where its stream gave up or came out no smaller, for a
  // chunk stored raw; otherwise empty (the stream decodes).
  std::vector<std::uint8_t> raw;
};

}  // namespace qvn::pack
