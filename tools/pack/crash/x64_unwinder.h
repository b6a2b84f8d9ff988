#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "tools/pack/crash/minidump_reader.h"
#include "tools/pack/image/pe_image_file.h"

namespace qvn::pack {

// Eight bytes of the crashed process's memory, or none where the dump has
// none.
using ProcessMemory = std::function<std::optional<std::uint64_t>(std::uint64_t address)>;

// One step of the x64 unwinder: the caller's registers, from the callee's
// registers at an instruction of `image` (loaded at `base`), by the unwind
// codes of the function that holds it, chained entries included. A function
// the function table leaves out is a leaf: its return address is at RSP.
// None when the memory the step needs is not in the dump. Raises
// PeFormatError for unwind information that does not hold together.
std::optional<X64Registers> UnwindOneFrame(const PeImageFile& image, std::uint64_t base, const X64Registers& callee,
                                           const ProcessMemory& memory);

}  // namespace qvn::pack
