#pragma once

#include <cstddef>
#include <vector>

#include "base/sha256.h"
#include "tools/pack/packing/segment_reader.h"
#include "tools/pack/packing/unit_plan.h"

namespace qvn::pack {

// Each file's SHA-256, from the windows read for its units, taken in order:
// a file of several chunks is hashed across them. An empty file, never
// read, has that of no bytes.
class FileDigests {
 public:
  FileDigests(const std::vector<PackFileInfo>& files, const UnitPlan& plan);

  void Add(std::size_t unit, const UnitInput& input);
  // Complete once every unit of the file is added.
  const Sha256& Of(std::size_t file) const { return digests_[file]; }

 private:
  const std::vector<PackFileInfo>& files_;
  const UnitPlan& plan_;
  std::vector<Sha256> digests_;
  Sha256Hasher hasher_;  // of the file being added, across its chunks
};

}  // namespace qvn::pack
