#pragma once

#include <string>

namespace qvn::testing {

// The exact report of a launcher failure, as written to standard error.
inline std::string Report(const std::string& text) { return "Quorvane portable: " + text + "\n"; }

}  // namespace qvn::testing
