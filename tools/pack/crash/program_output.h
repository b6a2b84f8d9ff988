#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qvn::pack {

// Runs a program, found on PATH where its name has no folder, with these
// arguments and no standard input, and returns what it wrote on standard
// output once it has ended with status 0. None when it cannot be started or
// fails.
std::optional<std::string> RunProgramForOutput(const std::vector<std::string>& command);

// The first of `names` that PATH holds as a program, as a full path.
std::optional<std::string> FindProgramOnPath(const std::vector<std::string>& names);

}  // namespace qvn::pack
