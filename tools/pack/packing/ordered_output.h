#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "base/sha256.h"
#include "tools/pack/packing/background_writer.h"
#include "tools/pack/packing/record_check.h"

namespace qvn::pack {

// Takes the payload's bytes in order, a piece at a time.
using PayloadOutput = std::function<void(std::span<const std::uint8_t> bytes)>;

struct PayloadSummary {
  std::uint64_t size = 0;
  Sha256 digest{};  // of the whole payload
};

// The payload's bytes in order, queued as files complete and given out a
// piece at a time, so that hashing and writing them overlaps the encoding
// of later files: hashed on the calling thread, written on the writer's,
// each piece freed once written. A file's record is given out only once
// `checks` has passed it, and the very bytes checked are hashed and
// written. Raises PackRefused once more is queued than the launcher holds.
class OrderedOutput {
 public:
  OrderedOutput(const PayloadOutput& output, RecordChecks& checks) : writer_(output), checks_(checks) {}

  // The container's header.
  void Queue(std::vector<std::uint8_t> bytes);
  // A whole file record, posted to the checks.
  void QueueRecord(std::vector<std::uint8_t> record);
  // Hashes at most `most` bytes, and hands on each piece hashed whole;
  // says whether more are queued that could go now (not behind a record
  // whose check is still to come).
  bool GiveSome(std::size_t most);
  // Raises the first failed check.
  PayloadSummary Finish();

 private:
  struct Piece {
    std::vector<std::uint8_t> bytes;
    std::optional<std::size_t> check;  // its ticket, for a record
  };

  // Raises PackRefused once the payload would outgrow the launcher.
  void Count(std::size_t bytes);

  BackgroundWriter writer_;
  RecordChecks& checks_;
  std::deque<Piece> pieces_;
  std::size_t frontHashed_ = 0;
  std::uint64_t queued_ = 0;
  Sha256Hasher hasher_;
};

}  // namespace qvn::pack
