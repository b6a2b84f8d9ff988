#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/pack/image/image_pieces.h"
#include "tools/pack/image/pe_resource.h"

namespace qvn::pack {

// A resource this large or larger is not copied into the section's
// pieces: they view its bytes, which the caller keeps alive as long as
// the pieces.
inline constexpr std::size_t kBorrowedResourceSize = std::size_t{1} << 20;

// Appends to `out` the bytes of a resource section at `sectionRva` holding
// `resources`: the three-level tree of directories (type, name, language;
// named entries first, each level sorted), then the data entries, then the
// names, then each resource's bytes 8-byte aligned; then zeros up to a
// multiple of `fileAlignment` (a power of two); a resource of
// kBorrowedResourceSize or more goes in as a view of its bytes. Returns
// the section's size without those zeros. The same resources in any order
// give the same bytes. Two resources in the same place keep the later one.
std::uint32_t AppendResourceSection(std::vector<PeResource> resources, std::uint32_t sectionRva,
                                    std::uint32_t fileAlignment, ImagePieces& out);

}  // namespace qvn::pack
