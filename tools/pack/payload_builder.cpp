#include "tools/pack/payload_builder.h"

#include <algorithm>
#include <string>

#include "payload/payload_container_writer.h"
#include "tools/pack/pack_refusal.h"
#include "tools/pack/pack_rules.h"
#include "tools/pack/sha256_hash.h"

namespace qvn::pack {
namespace {

std::vector<PackFileInfo> DescribeFiles(const std::vector<PackInput>& files) {
  std::vector<PackFileInfo> infos;
  infos.reserve(files.size());
  for (const PackInput& file : files) infos.push_back({file.storedName, file.contents.size()});
  return infos;
}

ContainerRecord MakeRecord(const PackInput& file, compression::Level level) {
  ContainerRecord record;
  record.name = file.storedName;
  record.expandedSize = static_cast<std::uint32_t>(file.contents.size());
  record.digest = HashSha256(file.contents);
  if (!file.contents.empty()) record.storedData = compression::EncodeBuffer(file.contents, level);
  return record;
}

}  // namespace

std::vector<std::uint8_t> BuildPayload(const std::vector<PackInput>& files, compression::Level level,
                                       const PackProgress& progress) {
  std::vector<PackProblem> problems = FindPackProblems(DescribeFiles(files));
  if (!problems.empty()) throw PackRefused(std::move(problems));

  std::vector<const PackInput*> ordered;
  for (const PackInput& file : files) ordered.push_back(&file);
  std::sort(ordered.begin(), ordered.end(),
            [](const PackInput* a, const PackInput* b) { return a->storedName < b->storedName; });

  std::uint64_t total = 0;
  for (const PackInput& file : files) total += file.contents.size();
  std::uint64_t done = 0;
  std::vector<ContainerRecord> records;
  records.reserve(ordered.size());
  for (const PackInput* file : ordered) {
    records.push_back(MakeRecord(*file, level));
    done += file->contents.size();
    if (progress) progress(done, total);
  }

  std::vector<std::uint8_t> payload = WritePayloadContainer(records);
  if (payload.size() > kMaxPayloadSize) {
    throw PackRefused({{"", "the packed payload is " + std::to_string(payload.size()) +
                                " bytes; the launcher holds at most " + std::to_string(kMaxPayloadSize)}});
  }
  return payload;
}

}  // namespace qvn::pack
