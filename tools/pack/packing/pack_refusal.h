#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "payload/payload_fault.h"

namespace qvn::pack {

// One reason the packer refuses its input. `path` is the offending stored
// name, or empty when the problem is the input as a whole.
struct PackProblem {
  std::string path;
  std::string reason;
  std::optional<PayloadFault> fault = {};  // the launcher's own refusal of it, where it has one
};

// Raised when a game folder or file list cannot become a payload. It carries
// every problem found, not just the first, so that one run shows the user
// all there is to fix.
class PackRefused : public Error {
 public:
  explicit PackRefused(std::vector<PackProblem> problems);

  const std::vector<PackProblem>& problems() const { return problems_; }

 private:
  std::vector<PackProblem> problems_;
};

// "<path>: <reason>", or the reason alone for a problem of the whole input.
std::string DescribeProblem(const PackProblem& problem);

}  // namespace qvn::pack
