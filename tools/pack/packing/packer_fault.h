#pragma once

#include <string>
#include <vector>

#include "payload/payload_fault.h"

namespace qvn::pack {

// Raises qvn::Error for what was just packed failing the launcher's checks:
// the packer's fault, never the user's, so the text says so and asks for a
// report. Each failure reads "<what it concerns>: <the launcher's message>".
[[noreturn]] void RaisePackerFault(const std::vector<std::string>& failures);
// The same for one failure of `concerning`, with the launcher's message for
// `fault`.
[[noreturn]] void RaisePackerFault(const std::string& concerning, PayloadFault fault);

}  // namespace qvn::pack
