#include "tools/pack/packing/record_assembler.h"

#include <string>

#include "payload/payload_container_writer.h"
#include "tools/pack/packing/packer_fault.h"

namespace qvn::pack {

RecordAssembler::RecordAssembler(const std::vector<PackFileInfo>& files, const UnitPlan& plan,
                                 const FileDigests& digests, ChunkRecords& made, OrderedOutput& out)
    : files_(files),
      plan_(plan),
      digests_(digests),
      made_(made),
      out_(out),
      segmentsLeft_(plan.chunks.size()),
      chunksLeft_(files.size(), 0) {
  for (std::size_t i = 0; i < plan.chunks.size(); ++i) {
    segmentsLeft_[i] = plan.chunks[i].segmentCount;
    ++chunksLeft_[plan.chunks[i].file];
  }
  out_.Queue(ContainerHeaderBytes(static_cast<std::uint32_t>(files.size())));
  QueueCompleteFiles();
}

void RecordAssembler::Finish(std::size_t unit) {
  for (const Segment& segment : plan_.SegmentsOf(plan_.units[unit])) {
    if (--segmentsLeft_[segment.chunk] == 0) --chunksLeft_[plan_.chunks[segment.chunk].file];
  }
  QueueCompleteFiles();
}

bool RecordAssembler::ChecksDone(std::size_t file) const {
  std::size_t end = nextChunk_;
  while (end < plan_.chunks.size() && plan_.chunks[end].file == file) ++end;
  return made_.checked() >= end;
}

void RecordAssembler::QueueCompleteFiles() {
  for (; nextQueued_ < plan_.order.size(); ++nextQueued_) {
    const std::size_t file = plan_.order[nextQueued_];
    if (chunksLeft_[file] != 0 || !ChecksDone(file)) return;
    CheckedRecord checked;
    checked.name = files_[file].storedName;
    checked.expandedSize = static_cast<std::uint32_t>(files_[file].size);
    checked.digest = digests_.Of(file);
    if (made_.DecodedDigest(file) != checked.digest) {
      RaisePackerFault(checked.name, PayloadFault::kFileDigestMismatch);
    }
    const std::size_t firstChunk = nextChunk_;
    std::vector<MadeRecord> records;
    std::uint64_t storedSize = 0;
    for (; nextChunk_ < plan_.chunks.size() && plan_.chunks[nextChunk_].file == file; ++nextChunk_) {
      storedSize += records.emplace_back(made_.Take(nextChunk_)).bytes.size();
    }
    ContainerRecord header;
    header.name = checked.name;
    header.expandedSize = checked.expandedSize;
    header.digest = checked.digest;
    out_.Queue(RecordHeaderBytes(header, static_cast<std::uint32_t>(storedSize)));
    for (std::size_t i = 0; i < records.size(); ++i) {
      MadeRecord& record = records[i];
      checked.chunks.push_back({out_.queued() + record.storedAt,
                                static_cast<std::uint32_t>(record.bytes.size() - record.storedAt), record.fingerprint,
                                static_cast<std::uint32_t>(plan_.chunks[firstChunk + i].size)});
      out_.Queue(std::move(record.bytes));
    }
    checked_.push_back(std::move(checked));
  }
}

}  // namespace qvn::pack
