#include "tools/pack/packing/payload_builder.h"

#include <algorithm>
#include <memory>

#include "tools/pack/packing/file_digests.h"
#include "tools/pack/packing/record_assembler.h"
#include "tools/pack/packing/segment_encoder.h"
#include "tools/pack/packing/unit_plan.h"
#include "tools/pack/packing/worker_pool.h"

namespace qvn::pack {
namespace {

// The calling thread's steps: each unit is read, hashed while its worker
// encodes it (and checks what it can of the records), then its files'
// records are queued once checked; meanwhile the finished payload is
// hashed and written a piece at a time.
class PayloadSchedule final : public UnitSchedule {
 public:
  PayloadSchedule(SegmentReader& reader, FileDigests& digests, RecordAssembler& assembler, OrderedOutput& out)
      : reader_(reader), digests_(digests), assembler_(assembler), out_(out) {}

  void Prepare(std::size_t unit) override { reader_.Read(unit); }
  void Alongside(std::size_t unit) override { digests_.Add(unit, reader_.inputs()[unit]); }
  void Finish(std::size_t unit) override {
    reader_.Release(unit);
    assembler_.Finish(unit);
  }
  // A piece at a time, so that the workers are not kept waiting for the
  // next unit.
  bool Idle() override {
    assembler_.QueueCompleteFiles();
    return out_.GiveSome(std::size_t{1} << 20);
  }

 private:
  SegmentReader& reader_;
  FileDigests& digests_;
  RecordAssembler& assembler_;
  OrderedOutput& out_;
};

}  // namespace

PayloadSummary WritePayload(const PackableFiles& packable, const ReadFilePart& read, compression::Level level,
                            const PackProgress& progress, unsigned jobs, const PayloadOutput& output) {
  const std::vector<PackFileInfo>& files = packable.list();
  const UnitPlan plan(files, level);

  // The calling thread's alone.
  SegmentReader reader(plan, read);
  FileDigests digests(files, plan);
  OrderedOutput out(output);

  // Shared with the workers, each slot handed over with its unit.
  std::vector<EncodedSegment> encoded(plan.segments.size());
  ChunkRecords made(files, plan);
  RecordAssembler assembler(files, plan, digests, made, out);
  std::uint64_t total = 0;
  for (const PackFileInfo& file : files) total += file.size;
  EncodingProgress encodingProgress(progress, total);

  std::vector<std::unique_ptr<SegmentEncoder>> encoders;
  std::vector<UnitWorker*> workers;
  for (unsigned i = 0; i < std::max(jobs, 1u); ++i) {
    encoders.push_back(std::make_unique<SegmentEncoder>(plan, reader.inputs(), encoded, made, encodingProgress, level));
    workers.push_back(encoders.back().get());
  }
  PayloadSchedule schedule(reader, digests, assembler, out);
  RunOnWorkers(plan.units.size(), schedule, workers);
  PayloadSummary summary = out.Finish();
  summary.checked = assembler.TakeChecked();
  return summary;
}

PayloadOutput AppendingTo(std::vector<std::uint8_t>& bytes) {
  return [&bytes](std::span<const std::uint8_t> piece) { bytes.insert(bytes.end(), piece.begin(), piece.end()); };
}

}  // namespace qvn::pack
