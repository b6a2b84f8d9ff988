#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "tools/pack/examine/payload_verification.h"

namespace qvn::pack {

// Raised when a payload does not pass the checks of `verify`; the text names
// every failure.
class PayloadFilesRefused : public Error {
 public:
  PayloadFilesRefused(const std::string& text, std::vector<VerificationFailure> failures)
      : Error(text), failures_(std::move(failures)) {}

  const std::vector<VerificationFailure>& failures() const { return failures_; }

 private:
  std::vector<VerificationFailure> failures_;
};

struct PayloadFile {
  std::string name;  // the stored name, with "/"
  std::vector<std::uint8_t> bytes;
};

// The expanded contents of the files of a launcher or bare payload whose
// stored names `wanted` accepts, after the whole payload has passed the
// checks of `verify`: the files a player's launcher unpacked, byte for byte.
std::vector<PayloadFile> ReadPayloadFiles(std::span<const std::uint8_t> file,
                                          const std::function<bool(const std::string&)>& wanted);

}  // namespace qvn::pack
