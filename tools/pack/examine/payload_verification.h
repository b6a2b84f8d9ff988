#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "payload/payload_fault.h"
#include "tools/pack/packing/checked_records.h"
#include "tools/pack/packing/pack_progress.h"

namespace qvn::pack {

// The outcome of checking a payload or launcher as the launcher would
// before it writes a byte. Each failure names what it concerns: the
// executable's resources, the payload digest, the container, or one entry by
// its stored name; the text after the colon is the launcher's own message.
struct VerificationFailure {
  std::string text;                   // "<what it concerns>: <message>"
  std::optional<PayloadFault> fault;  // none where the file is no well-formed executable
};

struct VerificationReport {
  std::vector<VerificationFailure> failures;
  bool fromExecutable = false;  // a PE image, whether or not it holds a payload
  bool payloadFound = false;    // a payload to check: a bare one, or resource 101 of an executable
  std::size_t fileCount = 0;
  std::uint64_t expandedTotal = 0;

  bool passed() const { return failures.empty(); }
};

// For an executable: resource 101 present and of a size the launcher takes,
// resource 102 present and equal to the SHA-256 of 101. Then, for the
// payload, every rule of the container parser and, for every entry, its
// stream decoded to exactly its expanded size and the result's SHA-256
// compared with the entry's digest. Unlike the launcher it goes on past a
// digest mismatch and past a damaged entry, so that one run names every
// damaged entry; a container the parser refuses ends the checks. Entries
// are checked on `jobs` threads (at least one), a chunk at a time: besides
// the file, each thread holds at most one 64 MiB chunk. `progress` is
// called on the calling thread.
VerificationReport VerifyPayloadFile(std::span<const std::uint8_t> file, unsigned jobs,
                                     const PackProgress& progress = {});

// The same checks of a file the packer has just written, which checked
// each record as it made it: the executable's resources and the payload's
// digest as above, and every rule of the container parser; then, in place
// of decoding each entry again, each entry held to its record in `checked`
// (same name, size and digest; its stream's header and chunk records read
// as the launcher reads them; each chunk's stored bytes where they were
// checked, of the same size and fingerprint, expanding to the same size).
// A difference has no fault of the launcher's: it is the packer's own.
VerificationReport VerifyPackedFile(std::span<const std::uint8_t> file, std::span<const CheckedRecord> checked);

}  // namespace qvn::pack
