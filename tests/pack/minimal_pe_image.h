#pragma once

#include <cstdint>
#include <vector>

namespace qvn::testing {

struct PeResource {
  std::uint16_t type;
  std::uint16_t id;
  std::uint16_t language;
  std::vector<std::uint8_t> data;
};

enum class PeKind { kPe32, kPe32Plus };

// A PE file with no code and one section, .rsrc, holding `resources` in the
// three-level tree (type, id, language) that resource compilers write. It
// is laid out for readers of the file, not for the Windows loader. With no
// resources it has no resource section or directory at all. The section
// lies at `sectionRva` in memory and right after the headers in the file.
std::vector<std::uint8_t> MakePeImage(const std::vector<PeResource>& resources, PeKind kind = PeKind::kPe32Plus,
                                      std::uint32_t sectionRva = 0x1000);

}  // namespace qvn::testing
