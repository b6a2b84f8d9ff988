#pragma once

#include <vector>

#include "tools/pack/build/pack_input.h"
#include "tools/pack/build/pack_refusal.h"

namespace qvn::pack {

// Every reason the launcher would refuse these files: the name rules it
// applies to each stored name, the reserved portable-state names, names
// that clash when letter case is ignored or that put a file where another
// name needs a directory, the file count and size limits, and a missing
// root Quorvane.exe. Empty when the files can be packed. Problems of the
// whole input come first, then those of each name in sorted name order.
std::vector<PackProblem> FindPackProblems(const std::vector<PackFileInfo>& files);

}  // namespace qvn::pack
