#include "tools/pack/packing/ordered_output.h"

#include <algorithm>
#include <limits>
#include <string>

#include "payload/payload_contract.h"
#include "tools/pack/packing/pack_refusal.h"

namespace qvn::pack {

void OrderedOutput::Queue(std::vector<std::uint8_t> bytes) {
  Count(bytes.size());
  if (!bytes.empty()) pieces_.push_back({std::move(bytes), std::nullopt});
}

void OrderedOutput::QueueRecord(std::vector<std::uint8_t> record) {
  Count(record.size());
  // The vector's own buffer moves with it into the queue and on to the
  // writer, so the span posted stays the bytes written.
  const std::size_t ticket = checks_.Post(record);
  pieces_.push_back({std::move(record), ticket});
}

void OrderedOutput::Count(std::size_t bytes) {
  queued_ += bytes;
  if (queued_ > kMaxPayloadSize) {
    throw PackRefused(
        {{"", "the packed payload is over " + std::to_string(kMaxPayloadSize) + " bytes, all the launcher holds"}});
  }
}

bool OrderedOutput::GiveSome(std::size_t most) {
  while (most > 0 && !pieces_.empty()) {
    Piece& front = pieces_.front();
    // Nothing goes out ahead of a record not yet checked.
    if (front.check && !checks_.Passed(*front.check)) return false;
    const std::size_t size = std::min(most, front.bytes.size() - frontHashed_);
    hasher_.Update(std::span(front.bytes).subspan(frontHashed_, size));
    most -= size;
    frontHashed_ += size;
    if (frontHashed_ == front.bytes.size()) {
      writer_.Write(std::move(front.bytes));
      pieces_.pop_front();
      frontHashed_ = 0;
    }
  }
  return !pieces_.empty();
}

PayloadSummary OrderedOutput::Finish() {
  checks_.Finish();
  while (GiveSome(std::numeric_limits<std::size_t>::max())) {
  }
  writer_.Finish();
  return {queued_, hasher_.Finish()};
}

}  // namespace qvn::pack
