#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "tools/pack/examine/payload_verification.h"

namespace qvn::pack {

// Raised when a payload cannot be extracted; nothing has been written.
class ExtractionRefused : public Error {
 public:
  explicit ExtractionRefused(const std::string& text, std::vector<VerificationFailure> failures = {})
      : Error(text), failures_(std::move(failures)) {}

  // Why the file is damaged; empty when it is the target that is refused.
  const std::vector<VerificationFailure>& failures() const { return failures_; }

 private:
  std::vector<VerificationFailure> failures_;
};

// Checks a launcher or a bare payload as `verify` does and only then writes
// each of its files under `root`, which it creates and which must not exist
// yet or be an empty folder. Stored names passed the launcher's path rules,
// and every folder below `root` is made here, so nothing lands outside it.
// Returns the number of files written. Raises ExtractionRefused, naming
// every failure, before anything is written; a write that fails midway
// raises Error once what was written is removed again.
std::size_t ExtractPayloadFiles(std::span<const std::uint8_t> file, const std::filesystem::path& root);

}  // namespace qvn::pack
