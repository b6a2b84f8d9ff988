#include "tools/pack/packing/record_check.h"

#include <algorithm>
#include <memory>
#include <string>

#include "base/error.h"
#include "base/little_endian_field.h"
#include "payload/entry_check.h"
#include "payload/payload_contract.h"
#include "payload/payload_fault.h"
#include "tools/pack/packing/packer_fault.h"

namespace qvn::pack {

void CheckRecord(std::span<const std::uint8_t> record) {
  // The record was made by the packer, so its head and lengths are within
  // it; the checks that follow are those that could still find a fault.
  if (record.size() < kRecordHeadSize) throw Error(PackerFaultText({"a record shorter than its head"}));
  const std::uint32_t nameLength = LoadField(record.data(), kRecordNameLength);
  const std::uint32_t expandedSize = LoadField(record.data(), kRecordExpandedSize);
  const std::uint32_t storedSize = LoadField(record.data(), kRecordStoredSize);
  const std::span<const std::uint8_t> name =
      record.subspan(kRecordHeadSize, std::min<std::size_t>(nameLength, record.size() - kRecordHeadSize));
  const std::string storedName(name.begin(), name.end());
  if (record.size() != kRecordHeadSize + nameLength + storedSize) {
    throw Error(PackerFaultText({storedName + ": the record's stored size is not its length"}));
  }
  const PayloadEntry entry{{},
                           expandedSize,
                           record.subspan<kRecordDigestOffset, kDigestSize>(),
                           record.subspan(kRecordHeadSize + nameLength)};
  // Not cleared first: the decoder writes every byte the check reads.
  const auto expanded = std::make_unique_for_overwrite<std::uint8_t[]>(expandedSize);
  PortableStreamDecoder decoder;
  try {
    CheckEntryContents(entry, std::span(expanded.get(), expandedSize), decoder);
  } catch (const PayloadError& failure) {
    throw Error(PackerFaultText({storedName + ": " + std::string(PayloadFaultMessage(failure.fault()))}));
  }
}

std::size_t RecordChecks::Post(std::span<const std::uint8_t> record) {
  const std::lock_guard lock(mutex_);
  pending_.push_back({passed_.size(), record});
  passed_.push_back(false);
  return passed_.size() - 1;
}

bool RecordChecks::RunOne() {
  Pending taken;
  {
    const std::lock_guard lock(mutex_);
    if (pending_.empty()) return false;
    taken = pending_.front();
    pending_.pop_front();
    ++running_;
  }
  std::exception_ptr failure;
  try {
    CheckRecord(taken.record);
  } catch (...) {
    failure = std::current_exception();
  }
  {
    const std::lock_guard lock(mutex_);
    --running_;
    if (failure && !failure_) failure_ = failure;
    passed_[taken.ticket] = !failure;
  }
  checked_.notify_all();
  if (failure) std::rethrow_exception(failure);
  return true;
}

bool RecordChecks::Passed(std::size_t ticket) {
  const std::lock_guard lock(mutex_);
  return passed_[ticket];
}

void RecordChecks::Finish() {
  while (RunOne()) {
  }
  std::unique_lock lock(mutex_);
  checked_.wait(lock, [this] { return running_ == 0; });
  if (failure_) std::rethrow_exception(failure_);
}

}  // namespace qvn::pack
