#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tools/pack/image/pe_image.h"
#include "tools/pack/image/pe_resource.h"

namespace qvn::pack {

// True when the bytes start like an executable image ("MZ").
bool LooksLikePeImage(std::span<const std::uint8_t> file);

// Every resource of a PE file (32- or 64-bit) as it lies on disk, on any
// host, in the order of its resource tree, each with a view into `file`.
// Every offset is checked against the file; raises PeFormatError when the
// file is not a well-formed PE image or its resource tree does not hold
// together. An image without a resource directory has none.
std::vector<PeResource> ReadPeResources(std::span<const std::uint8_t> file);

// Finds the RT_RCDATA resource `id`. Takes the resource's first language,
// which is the neutral one, as the launcher's are, when present. Returns
// nullopt when the image has no such resource; raises PeFormatError as
// ReadPeResources does.
std::optional<std::span<const std::uint8_t>> FindRcDataResource(std::span<const std::uint8_t> file, std::uint16_t id);

}  // namespace qvn::pack
