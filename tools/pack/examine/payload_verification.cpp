#include "tools/pack/examine/payload_verification.h"

#include <algorithm>
#include <functional>
#include <future>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "compression/buffer_stream_reader.h"
#include "compression/chunk_by_chunk_decode.h"
#include "payload/entry_check.h"
#include "payload/payload_contract.h"
#include "payload/payload_fault.h"
#include "payload/payload_manifest.h"
#include "tools/pack/examine/payload_source.h"
#include "tools/pack/examine/stored_name.h"
#include "tools/pack/image/pe_resource_reader.h"
#include "tools/pack/packing/worker_pool.h"

namespace qvn::pack {
namespace {

std::optional<VerificationFailure> PayloadDigestFailure(const PayloadSource& source) {
  if (!source.expectedDigest) {
    return VerificationFailure{"resource " + std::to_string(kPayloadDigestResourceId) + ": " +
                                   std::string(PayloadFaultMessage(PayloadFault::kNoEmbeddedRuntime)) +
                                   " (no payload digest)",
                               PayloadFault::kNoEmbeddedRuntime};
  }
  const Sha256 actual = HashSha256(source.payload);
  const std::span<const std::uint8_t> expected = *source.expectedDigest;
  if (std::equal(actual.begin(), actual.end(), expected.begin(), expected.end())) return std::nullopt;
  return VerificationFailure{"payload digest (resource " + std::to_string(kPayloadDigestResourceId) +
                                 "): " + std::string(PayloadFaultMessage(PayloadFault::kPayloadDigestMismatch)),
                             PayloadFault::kPayloadDigestMismatch};
}

// Each thread's own tables and one chunk of scratch: a file is checked a
// chunk at a time, so that no file is ever expanded whole.
class EntryChecker final : public UnitWorker {
 public:
  EntryChecker(const PayloadManifest& manifest, std::span<const std::size_t> order, std::size_t scratchSize,
               std::vector<std::optional<PayloadFault>>& faults)
      : manifest_(manifest),
        order_(order),
        scratch_(std::make_unique_for_overwrite<std::uint8_t[]>(scratchSize)),
        scratchSize_(scratchSize),
        faults_(faults) {}

  void Work(std::size_t unit) override {
    const std::size_t entry = order_[unit];
    try {
      CheckEntryChunkByChunk(manifest_[entry], std::span(scratch_.get(), scratchSize_), *tables_);
    } catch (const PayloadError& failure) {
      faults_[entry] = failure.fault();  // each entry's slot is its worker's alone
    }
  }

 private:
  const PayloadManifest& manifest_;
  const std::span<const std::size_t> order_;
  const std::unique_ptr<compression::HuffmanDecoder> tables_ = std::make_unique<compression::HuffmanDecoder>();
  const std::unique_ptr<std::uint8_t[]> scratch_;
  const std::size_t scratchSize_;
  std::vector<std::optional<PayloadFault>>& faults_;
};

// Counts each entry's bytes as its check ends, on the calling thread.
class CheckProgress final : public UnitSchedule {
 public:
  CheckProgress(const PayloadManifest& manifest, std::span<const std::size_t> order, const PackProgress& progress,
                std::uint64_t total, VerificationReport& report)
      : manifest_(manifest), order_(order), progress_(progress), total_(total), report_(report) {}

  void Prepare(std::size_t) override {}
  void Finish(std::size_t unit) override {
    report_.expandedTotal += manifest_[order_[unit]].expandedSize;
    if (progress_) progress_(report_.expandedTotal, total_);
  }

 private:
  const PayloadManifest& manifest_;
  const std::span<const std::size_t> order_;
  const PackProgress& progress_;
  const std::uint64_t total_;
  VerificationReport& report_;
};

// Every rule of the container parser, its failure reported.
std::optional<PayloadManifest> ParseContainer(std::span<const std::uint8_t> payload, VerificationReport& report) {
  try {
    return ParsePayloadManifest(payload);
  } catch (const PayloadError& error) {
    report.failures.push_back({std::string("container: ") + error.what(), error.fault()});
    return std::nullopt;
  }
}

// Every rule of the container and of each entry; entries are checked on
// `jobs` threads and their failures reported in stored order.
void CheckContents(std::span<const std::uint8_t> payload, unsigned jobs, const PackProgress& progress,
                   VerificationReport& report) {
  const std::optional<PayloadManifest> parsed = ParseContainer(payload, report);
  if (!parsed) return;
  const PayloadManifest& manifest = *parsed;

  std::uint64_t total = 0;
  std::uint64_t largest = 0;
  for (const PayloadEntry& entry : manifest) {
    total += entry.expandedSize;
    largest = std::max<std::uint64_t>(largest, entry.expandedSize);
  }
  // Largest first, so that no thread starts a large file while the others
  // are left with nothing to do.
  std::vector<std::size_t> order(manifest.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&manifest](std::size_t a, std::size_t b) {
    return manifest[a].expandedSize > manifest[b].expandedSize;
  });
  std::vector<std::optional<PayloadFault>> faults(manifest.size());
  const auto scratchSize = static_cast<std::size_t>(compression::ChunkScratchSize(largest));
  std::vector<std::unique_ptr<EntryChecker>> checkers;
  std::vector<UnitWorker*> workers;
  for (unsigned i = 0; i < std::clamp<std::size_t>(jobs, 1, manifest.size()); ++i) {
    checkers.push_back(std::make_unique<EntryChecker>(manifest, order, scratchSize, faults));
    workers.push_back(checkers.back().get());
  }
  CheckProgress schedule(manifest, order, progress, total, report);
  RunOnWorkers(manifest.size(), schedule, workers);
  for (std::size_t i = 0; i < manifest.size(); ++i) {
    // The fault's own message: the Windows error code that the launcher's
    // decompressor would add means nothing on the packer's host.
    if (faults[i])
      report.failures.push_back(
          {StoredName(manifest[i]) + ": " + std::string(PayloadFaultMessage(*faults[i])), *faults[i]});
  }
  report.fileCount = manifest.size();
}

// How an entry differs from the record checked as it was packed, read as
// the launcher reads it: empty where it does not.
std::string DifferenceFromChecked(std::span<const std::uint8_t> payload, const PayloadEntry& entry,
                                  const CheckedRecord& checked) {
  if (StoredName(entry) != checked.name) return "stored where " + checked.name + " was packed";
  if (entry.expandedSize != checked.expandedSize) return "not of the size packed";
  if (!std::ranges::equal(entry.digest, checked.digest)) return "not of the digest checked";
  if (entry.expandedSize == 0) return checked.chunks.empty() ? "" : "stored empty, though packed with chunks";
  const compression::BufferStreamReader stream(entry.storedData, entry.expandedSize);
  if (stream.failure() || stream.expandedSize() != entry.expandedSize)
    return "its stream's header is not the one packed";
  std::size_t chunks = 0;
  const bool same = stream.ForEachChunk(
      [&](std::size_t index, std::span<const std::uint8_t> stored, std::size_t, std::size_t length) {
        if (index >= checked.chunks.size()) return false;
        const CheckedChunk& chunk = checked.chunks[index];
        ++chunks;
        return static_cast<std::uint64_t>(stored.data() - payload.data()) == chunk.offset &&
               stored.size() == chunk.storedSize && length == chunk.expandedSize &&
               StoredFingerprint(stored) == chunk.fingerprint;
      });
  if (!same || chunks != checked.chunks.size()) return "its stored bytes are not the ones checked";
  return "";
}

// Every rule of the container, then each entry held to its checked record.
void CompareWithChecked(std::span<const std::uint8_t> payload, std::span<const CheckedRecord> checked,
                        VerificationReport& report) {
  const std::optional<PayloadManifest> manifest = ParseContainer(payload, report);
  if (!manifest) return;
  if (manifest->size() != checked.size()) {
    report.failures.push_back({"container: holds " + std::to_string(manifest->size()) + " files where " +
                                   std::to_string(checked.size()) + " were packed",
                               std::nullopt});
    return;
  }
  for (std::size_t i = 0; i < checked.size(); ++i) {
    const std::string difference = DifferenceFromChecked(payload, (*manifest)[i], checked[i]);
    if (!difference.empty()) report.failures.push_back({StoredName((*manifest)[i]) + ": " + difference, std::nullopt});
    report.expandedTotal += (*manifest)[i].expandedSize;
  }
  report.fileCount = manifest->size();
}

// The executable's resources, the payload's digest on a second core, and
// `contents` for the payload.
VerificationReport VerifyLocated(
    std::span<const std::uint8_t> file,
    const std::function<void(std::span<const std::uint8_t> payload, VerificationReport& report)>& contents) {
  VerificationReport report;
  report.fromExecutable = LooksLikePeImage(file);
  PayloadSource source;
  try {
    source = LocatePayload(file);
  } catch (const PayloadSourceError& error) {
    report.failures.push_back({std::string("executable: ") + error.what(), error.fault()});
    return report;
  }
  report.payloadFound = true;
  // The payload's digest and its entries are independent checks: the digest
  // is taken on a second core meanwhile.
  std::future<std::optional<VerificationFailure>> digestFailure;
  if (source.fromExecutable) {
    digestFailure = std::async(std::launch::async, [&source] { return PayloadDigestFailure(source); });
  }
  contents(source.payload, report);
  if (digestFailure.valid()) {
    if (std::optional<VerificationFailure> failure = digestFailure.get()) {
      report.failures.insert(report.failures.begin(), std::move(*failure));
    }
  }
  return report;
}

}  // namespace

VerificationReport VerifyPayloadFile(std::span<const std::uint8_t> file, unsigned jobs, const PackProgress& progress) {
  return VerifyLocated(file, [jobs, &progress](std::span<const std::uint8_t> payload, VerificationReport& report) {
    CheckContents(payload, jobs, progress, report);
  });
}

VerificationReport VerifyPackedFile(std::span<const std::uint8_t> file, std::span<const CheckedRecord> checked) {
  return VerifyLocated(file, [checked](std::span<const std::uint8_t> payload, VerificationReport& report) {
    CompareWithChecked(payload, checked, report);
  });
}

}  // namespace qvn::pack
