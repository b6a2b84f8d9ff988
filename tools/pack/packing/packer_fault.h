#pragma once

#include <string>
#include <vector>

namespace qvn::pack {

// Raises qvn::Error for what was just packed failing the launcher's checks:
// the packer's fault, never the user's, so the text says so and asks for a
// report. Each failure reads "<what it concerns>: <the launcher's message>".
[[noreturn]] void RaisePackerFault(const std::vector<std::string>& failures);

}  // namespace qvn::pack
