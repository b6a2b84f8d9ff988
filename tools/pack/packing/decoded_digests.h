#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include "base/sha256.h"
#include "tools/pack/packing/pack_input.h"
#include "tools/pack/packing/unit_plan.h"

namespace qvn::pack {

// Each file's SHA-256 over what its chunk records decode to, taken on the
// workers as the records are checked: chunks may be checked in any order,
// but a file's are hashed in order, a chunk waiting until those before it
// are in. A file's earlier chunks are always on their way when a later one
// waits (units are started in order), so no worker waits for another that
// waits in turn; a worker that fails abandons the digests, so that none
// waits for a chunk that never comes.
class DecodedDigests {
 public:
  DecodedDigests(const std::vector<PackFileInfo>& files, const UnitPlan& plan);

  // On the worker that checks `chunk`: runs `hash` with its file's hasher
  // once the file's earlier chunks are in, so that the chunk can be hashed
  // as it is decoded. False, without running it, once abandoned.
  bool Hash(std::size_t chunk, const std::function<void(Sha256Hasher& hasher)>& hash);
  // Ends every wait: the run has failed, and no digest is used.
  void Abandon();
  // Complete once every chunk of the file is added; an empty file has that
  // of no bytes.
  Sha256 Of(std::size_t file);

 private:
  struct FileState {
    std::size_t nextChunk = 0;  // into the plan's chunks
    Sha256Hasher hasher;
    Sha256 digest{};
  };

  const UnitPlan& plan_;
  std::mutex mutex_;
  std::condition_variable added_;
  std::vector<FileState> files_;
  bool abandoned_ = false;
};

}  // namespace qvn::pack
