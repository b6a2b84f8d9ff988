#pragma once

#include <filesystem>
#include <optional>

#include "base/sha256.h"

namespace qvn::pack {

// The packer's own check of a payload or launcher it has just written,
// read back from disk before the file takes its name (the hook that
// OutputFile::Commit runs before the rename): everything `verify` checks
// (every stream decodes to its size and digest; for a launcher, resource
// 102 matches), on `jobs` threads. For a bare payload, `payloadDigest` is
// the SHA-256 taken as it was written, which goes beside it: the file read
// back must have it too. A failure is the packer's fault, never the user's:
// raises qvn::Error saying so and naming every failure.
void CheckWrittenOutput(const std::filesystem::path& written, unsigned jobs,
                        const std::optional<Sha256>& payloadDigest = std::nullopt);

}  // namespace qvn::pack
