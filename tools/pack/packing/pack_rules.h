#pragma once

#include <utility>
#include <vector>

#include "tools/pack/packing/pack_input.h"
#include "tools/pack/packing/pack_refusal.h"

namespace qvn::pack {

// Every reason the launcher would refuse these files: the name rules it
// applies to each stored name, the reserved portable-state names, names
// that clash when letter case is ignored or that put a file where another
// name needs a directory, the file count and size limits, and a missing
// root Quorvane.exe. Empty when the files can be packed. Problems of the
// whole input come first, then those of each name in sorted name order.
std::vector<PackProblem> FindPackProblems(const std::vector<PackFileInfo>& files);

// Files the launcher accepts: only CheckPackFiles makes them, so what packs
// them need not check again.
class PackableFiles {
 public:
  const std::vector<PackFileInfo>& list() const { return files_; }

 private:
  explicit PackableFiles(std::vector<PackFileInfo> files) : files_(std::move(files)) {}
  friend PackableFiles CheckPackFiles(std::vector<PackFileInfo> files, std::vector<PackProblem> foundBefore);

  std::vector<PackFileInfo> files_;
};

// Raises PackRefused when there is any problem: `foundBefore` (a folder
// walk's) and FindPackProblems' together, in path order, those found before
// first for one path.
PackableFiles CheckPackFiles(std::vector<PackFileInfo> files, std::vector<PackProblem> foundBefore = {});

}  // namespace qvn::pack
