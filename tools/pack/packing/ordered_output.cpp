#include "tools/pack/packing/ordered_output.h"

#include <algorithm>
#include <limits>
#include <string>

#include "payload/payload_contract.h"
#include "tools/pack/packing/pack_refusal.h"

namespace qvn::pack {

void OrderedOutput::Queue(std::vector<std::uint8_t> bytes) {
  queued_ += bytes.size();
  if (queued_ > kMaxPayloadSize) {
    throw PackRefused(
        {{"", "the packed payload is over " + std::to_string(kMaxPayloadSize) + " bytes, all the launcher holds"}});
  }
  if (!bytes.empty()) pieces_.push_back(std::move(bytes));
}

bool OrderedOutput::GiveSome(std::size_t most) {
  while (most > 0 && !pieces_.empty()) {
    std::vector<std::uint8_t>& front = pieces_.front();
    const std::size_t size = std::min(most, front.size() - frontHashed_);
    hasher_.Update(std::span(front).subspan(frontHashed_, size));
    most -= size;
    frontHashed_ += size;
    if (frontHashed_ == front.size()) {
      writer_.Write(std::move(front));
      pieces_.pop_front();
      frontHashed_ = 0;
    }
  }
  return !pieces_.empty();
}

PayloadSummary OrderedOutput::Finish() {
  while (GiveSome(std::numeric_limits<std::size_t>::max())) {
  }
  writer_.Finish();
  return {queued_, hasher_.Finish(), {}};
}

}  // namespace qvn::pack
