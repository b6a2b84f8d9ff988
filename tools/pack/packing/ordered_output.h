#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "base/sha256.h"
#include "tools/pack/packing/background_writer.h"
#include "tools/pack/packing/checked_records.h"

namespace qvn::pack {

// Takes the payload's bytes in order, a piece at a time.
using PayloadOutput = std::function<void(std::span<const std::uint8_t> bytes)>;

struct PayloadSummary {
  std::uint64_t size = 0;
  Sha256 digest{};                     // of the whole payload, taken as it was given out
  std::vector<CheckedRecord> checked;  // in stored order
};

// The payload's bytes in order, queued as files complete and given out a
// piece at a time, so that hashing and writing them overlaps the encoding
// of later files: hashed on the calling thread, written on the writer's,
// each piece freed once written. Raises PackRefused once more is queued
// than the launcher holds.
class OrderedOutput {
 public:
  explicit OrderedOutput(PayloadOutput output) : writer_(std::move(output)) {}

  void Queue(std::vector<std::uint8_t> bytes);
  // The bytes queued so far: where the next piece goes in the payload.
  std::uint64_t queued() const { return queued_; }
  // Hashes at most `most` bytes, and hands on each piece hashed whole;
  // says whether more are queued.
  bool GiveSome(std::size_t most);
  PayloadSummary Finish();

 private:
  BackgroundWriter writer_;
  std::deque<std::vector<std::uint8_t>> pieces_;
  std::size_t frontHashed_ = 0;
  std::uint64_t queued_ = 0;
  Sha256Hasher hasher_;
};

}  // namespace qvn::pack
