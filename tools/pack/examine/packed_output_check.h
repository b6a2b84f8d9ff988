#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace qvn::pack {

// The packer's own check of a payload or launcher it has just made, before
// the file takes its name: everything `verify` checks (every stream decodes
// to its size and digest; for a launcher, resource 102 matches). A failure
// is the packer's fault, never the user's: raises qvn::Error saying so and
// naming every failure.
void CheckPackedOutput(std::span<const std::uint8_t> file);

// The same check of the file as written, read back from disk: the hook that
// OutputFile::Commit runs before the rename.
void CheckWrittenOutput(const std::filesystem::path& written);

}  // namespace qvn::pack
