#pragma once

#include <filesystem>
#include <optional>
#include <span>

#include "base/sha256.h"
#include "tools/pack/packing/checked_records.h"

namespace qvn::pack {

// The packer's own check of a payload or launcher it has just written,
// read back from disk before the file takes its name (the hook that
// OutputFile::Commit runs before the rename). Each record was decoded and
// hashed as it was made (WritePayload's `checked`); this holds the file to
// them (VerifyPackedFile: the container's every rule, each entry where and
// as it was checked; for a launcher, resource 102 the digest of 101). For
// a bare payload, `payloadDigest` is the SHA-256 taken as it was written,
// which goes beside it: the file read back must have it too. A failure is
// the packer's fault, never the user's: raises qvn::Error saying so and
// naming every failure.
void CheckWrittenOutput(const std::filesystem::path& written, std::span<const CheckedRecord> checked,
                        const std::optional<Sha256>& payloadDigest = std::nullopt);

}  // namespace qvn::pack
