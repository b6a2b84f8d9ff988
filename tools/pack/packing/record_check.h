#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <span>
#include <vector>

namespace qvn::pack {

// Checks one file record (its sizes, digest, name and stored stream, as
// stored) as the launcher checks an entry before it writes the file: the
// stream decoded without error to exactly the expanded size, and the
// result's SHA-256 equal to the record's digest. Raises Error naming the
// file, with PackerFaultText.
void CheckRecord(std::span<const std::uint8_t> record);

// Records handed over on the calling thread as they are completed and
// checked on whichever thread asks for work, so that the check runs on the
// workers between their units. A record's bytes must stay as they are from
// Post until they are written: the bytes checked are the bytes written.
class RecordChecks {
 public:
  // Returns the record's ticket, for Passed.
  std::size_t Post(std::span<const std::uint8_t> record);
  // Checks the oldest record not yet taken, if any; says whether there was
  // one. Raises the record's failure.
  bool RunOne();
  bool Passed(std::size_t ticket);
  // Checks what is left and waits for the checks that other threads have
  // taken; raises the first failure of any.
  void Finish();

 private:
  struct Pending {
    std::size_t ticket = 0;
    std::span<const std::uint8_t> record;
  };

  std::mutex mutex_;
  std::condition_variable checked_;
  std::deque<Pending> pending_;
  std::vector<bool> passed_;  // per ticket
  std::size_t running_ = 0;
  std::exception_ptr failure_;
};

}  // namespace qvn::pack
