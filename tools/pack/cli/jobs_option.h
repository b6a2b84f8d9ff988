#pragma once

#include <CLI/CLI.hpp>

namespace qvn::pack {

// Adds --jobs to a packing command: how many threads compress at once. A
// value below 1 or not a number is a usage error.
void AddJobsOption(CLI::App& command, unsigned& jobs);

}  // namespace qvn::pack
