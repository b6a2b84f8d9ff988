#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/error.h"
#include "tools/pack/image/image_pieces.h"
#include "tools/pack/image/pe_resource.h"

namespace qvn::pack {

// Raised when an image cannot be given new resources safely. Nothing has
// been written when it is raised.
class PeRewriteRefused : public Error {
 public:
  using Error::Error;
};

// A copy of the PE32+ x64 `image` whose resources are the image's own with
// `resources` put in: one at the same type, name and language replaces the
// image's, every other resource of the image is kept byte for byte. The
// whole tree goes into one resource section, the image's last: the old
// resource section is rewritten where it is the last one, otherwise a new
// section follows the others. The resource directory, the section count,
// SizeOfImage, SizeOfInitializedData and the checksum are set to match;
// the alignments stay as they are. Refuses (PeRewriteRefused) images that
// are not PE32+ x64 or not well-formed, that hold a certificate table
// (their signature would break), data after the last section, or no room
// for another section header.
std::vector<std::uint8_t> WriteResources(std::span<const std::uint8_t> image, std::span<const PeResource> resources);

// The same image in pieces, for writing out without a copy of its large
// resources: the pieces view the bytes of every resource, the image's own
// or given, of kBorrowedResourceSize (pe_resource_section.h) or more, so
// `image` and those bytes must outlive them.
ImagePieces WriteResourcePieces(std::span<const std::uint8_t> image, std::span<const PeResource> resources);

// The image checksum that the loader's and imagehlp's checks compute: the
// one's-complement sum of the file's 16-bit little-endian words, the 4-byte
// CheckSum field at `checksumOffset` counted as zero, folded to 16 bits,
// plus the file's length.
std::uint32_t ComputePeChecksum(std::span<const std::uint8_t> image, std::uint64_t checksumOffset);

// The file offset of the CheckSum field of a PE image's optional header.
std::uint64_t PeChecksumOffset(std::span<const std::uint8_t> image);

}  // namespace qvn::pack
