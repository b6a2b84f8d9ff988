#pragma once

#include <cstdint>

#include "base/byte_order.h"

namespace qvn::compression {

// Writes one block's bit stream so that BitReader reads it back: bits go
// into 16-bit words, most significant first, and length bytes go where the
// reader's byte position will be when it reads them. The reader loads a word
// as soon as fewer than 16 bits remain, so after C bits it has loaded
// max(2, 1 + ceil(C / 16)) words; the writer reserves a slot for each word
// at that same moment, and later fills it when the word's 16 bits are known.
// The caller provides room; no bounds are checked here.
class BitWriter {
 public:
  explicit BitWriter(std::uint8_t* out) : out_(out + 4) {
    slots_[0] = out;
    slots_[1] = out + 2;
  }

  // Appends the low `count` (0 to 32) bits of `value`; the bits above them
  // must be zero. Nothing else goes between those bits, so one call may
  // fill two words.
  void WriteBits(std::uint32_t value, unsigned count) {
    pending_ = (pending_ << count) | value;
    pendingCount_ += count;
    // A word is stored once the first bit after it arrives, which is when
    // the reader loads the word after next: its slot is reserved then.
    if (pendingCount_ > 16) {
      StoreWord();
      if (pendingCount_ > 16) {
        StoreWord();
      }
    }
  }

  void WriteByte(std::uint8_t value) { *out_++ = value; }
  void Write16(std::uint16_t value) {
    StoreLe16(out_, value);
    out_ += 2;
  }
  void Write32(std::uint32_t value) {
    StoreLe32(out_, value);
    out_ += 4;
  }

  // Fills the two open slots (the partial word padded with zeros, then a
  // zero word) and returns the end of the block.
  std::uint8_t* Finish() {
    const auto word = static_cast<std::uint16_t>(pendingCount_ > 0 ? pending_ << (16 - pendingCount_) : 0);
    StoreLe16(slots_[0], word);
    StoreLe16(slots_[1], 0);
    return out_;
  }

 private:
  void StoreWord() {
    pendingCount_ -= 16;
    StoreLe16(slots_[0], static_cast<std::uint16_t>(pending_ >> pendingCount_));
    slots_[0] = slots_[1];
    slots_[1] = out_;
    out_ += 2;
  }

  std::uint8_t* out_;
  // The word being filled goes into slots_[0], the one after it into
  // slots_[1]: the reader has loaded both already.
  std::uint8_t* slots_[2] = {};
  std::uint64_t pending_ = 0;  // the low pendingCount_ bits (1 to 16 once any) are not yet stored
  unsigned pendingCount_ = 0;
};

}  // namespace qvn::compression
