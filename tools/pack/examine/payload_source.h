#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/error.h"
#include "payload/payload_fault.h"

namespace qvn::pack {

// Where the payload of a file given to `list` or `verify` lies: a launcher
// executable carries it as RT_RCDATA 101 with its digest as 102; any other
// file is taken to be a payload itself.
struct PayloadSource {
  std::span<const std::uint8_t> payload;
  std::optional<std::span<const std::uint8_t>> expectedDigest;  // resource 102, when the executable has one
  bool fromExecutable = false;
};

// Raised when a file cannot yield a payload at all. The text is the
// launcher's own message where the launcher has one.
class PayloadSourceError : public Error {
 public:
  PayloadSourceError(const std::string& text, std::optional<PayloadFault> fault) : Error(text), fault_(fault) {}

  // The launcher's refusal, or none for a file that is no well-formed
  // executable.
  std::optional<PayloadFault> fault() const { return fault_; }

 private:
  std::optional<PayloadFault> fault_;
};

// Views into `file`, which must outlive the result. Raises
// PayloadSourceError for a malformed executable, one without resource 101,
// or a resource 101 the launcher would refuse for its size.
PayloadSource LocatePayload(std::span<const std::uint8_t> file);

}  // namespace qvn::pack
