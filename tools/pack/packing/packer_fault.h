#pragma once

#include <string>
#include <vector>

namespace qvn::pack {

// The text of a failure of the packer's own check of what it has just made:
// always the packer's fault, never the user's. Each line names what failed.
std::string PackerFaultText(const std::vector<std::string>& failures);

}  // namespace qvn::pack
