#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/error.h"
#include "base/sha256.h"
#include "compression/buffer_format.h"
#include "compression/chunk_encoder.h"
#include "payload/payload_manifest.h"
#include "tests/support/in_memory_payload.h"
#include "tests/support/text_bytes.h"
#include "tools/pack/examine/stored_name.h"
#include "tools/pack/packing/checked_records.h"
#include "tools/pack/packing/chunk_records.h"
#include "tools/pack/packing/file_digests.h"
#include "tools/pack/packing/ordered_output.h"
#include "tools/pack/packing/pack_refusal.h"
#include "tools/pack/packing/record_assembler.h"
#include "tools/pack/packing/segment_reader.h"
#include "tools/pack/packing/unit_plan.h"

namespace qvn::pack {
namespace {

using Bytes = std::vector<std::uint8_t>;
using compression::Level;

using testing::PackInMemory;
using testing::TestFile;
using testing::Text;
using testing::WriteInMemory;

Bytes Noise(std::size_t size, unsigned seed) {
  std::mt19937 engine(seed);
  Bytes bytes(size);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(engine());
  return bytes;
}

// Nested files, empty files, repetitive text and a large incompressible
// file that spans many of the encoder's 64 KiB blocks.
std::vector<TestFile> MixedGame() {
  std::string level;
  for (int row = 0; row < 2000; ++row) level += "row " + std::to_string(row % 17) + ": ..#..#....##..\n";
  return {{"Quorvane.exe", Noise(1 << 20, 1)},
          {"assets/levels/first.txt", Text(level)},
          {"assets/empty.dat", {}},
          {"saves/.keep", {}},
          {"README.txt", Text("Quorvane\n")},
          {"a/b/c/d/e/f/g/deep.bin", Noise(5000, 2)}};
}

TEST(WritePayload, EveryFileComesBackFromTheLaunchersParserAndDecoder) {
  const std::vector<TestFile> files = MixedGame();
  for (const Level level : {Level::kFast, Level::kStrong}) {
    const Bytes payload = PackInMemory(files, level);
    const PayloadManifest manifest = ParsePayloadManifest(payload);
    ASSERT_EQ(manifest.size(), files.size());
    std::vector<std::string> storedOrder;
    for (const PayloadEntry& entry : manifest) {
      const std::string name = StoredName(entry);
      storedOrder.push_back(name);
      const auto file = std::find_if(files.begin(), files.end(), [&](const TestFile& f) { return f.name == name; });
      ASSERT_NE(file, files.end()) << name;
      ASSERT_EQ(entry.expandedSize, file->contents.size()) << name;
      EXPECT_EQ(entry.storedData.empty(), file->contents.empty()) << name;
      const Sha256 expected = HashSha256(file->contents);
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), entry.digest.begin())) << name;
      Bytes expanded(entry.expandedSize);
      if (!expanded.empty()) {
        const compression::DecodeResult result = compression::DecodeBuffer(entry.storedData, expanded);
        EXPECT_EQ(result.status, compression::DecodeStatus::kOk) << name;
        EXPECT_EQ(result.produced, expanded.size()) << name;
      }
      EXPECT_EQ(expanded, file->contents) << name;
    }
    EXPECT_TRUE(std::is_sorted(storedOrder.begin(), storedOrder.end())) << "records in byte order of names";
    EXPECT_EQ(storedOrder.front(), "Quorvane.exe") << "upper case sorts before lower case";
  }
}

TEST(WritePayload, TheSameFilesGiveTheSameBytesWhateverTheirOrder) {
  std::vector<TestFile> files = MixedGame();
  const Bytes first = PackInMemory(files);
  EXPECT_EQ(PackInMemory(files), first);
  std::reverse(files.begin(), files.end());
  EXPECT_EQ(PackInMemory(files), first);
  files[1].contents.push_back(0);
  EXPECT_NE(PackInMemory(files), first);
}

// A chunk is stored raw when its segments' streams come out no smaller than
// it, as when a segment of noise grows by more (about 33 KB for 8 MiB) than
// the others shrink: here the 20,000-byte repeat of its end after it, or
// the 48 KiB of zeros that end the segment before it; and kept when the
// others shrink more. Each segment lands at
// its own place, whether kept raw or decoded back from its stream, whose
// matches may reach back into the noise.
TEST(WritePayload, AChunkStoredRawComesBackFromItsSegments) {
  Bytes noiseFirst = Noise(std::size_t{8} << 20, 3);
  const Bytes repeat(noiseFirst.end() - 20000, noiseFirst.end());
  noiseFirst.insert(noiseFirst.end(), repeat.begin(), repeat.end());
  Bytes noiseSecond = Noise((std::size_t{8} << 20) - 49152, 4);
  noiseSecond.resize(std::size_t{8} << 20, 0);
  const Bytes noise = Noise(std::size_t{8} << 20, 5);
  noiseSecond.insert(noiseSecond.end(), noise.begin(), noise.end());
  // Kept after all: the zeros make up for the noise that did not shrink.
  Bytes noiseThenZeros = noise;
  noiseThenZeros.resize(std::size_t{16} << 20, 0);
  for (const auto& [label, mixed, raw] :
       {std::tuple{"noise first", noiseFirst, true}, std::tuple{"noise second", noiseSecond, true},
        std::tuple{"noise then zeros", noiseThenZeros, false}}) {
    const Bytes payload = PackInMemory({{"Quorvane.exe", Text("MZ")}, {"mixed.pak", mixed}}, Level::kFast, {}, 2);
    const PayloadManifest manifest = ParsePayloadManifest(payload);
    ASSERT_EQ(manifest.size(), 2u) << label;
    const std::span<const std::uint8_t> stored = manifest[1].storedData;
    EXPECT_EQ(stored.size() == compression::kBufferHeaderSize + compression::kChunkRecordHeaderSize + mixed.size(), raw)
        << label;
    EXPECT_TRUE(std::ranges::equal(stored, compression::EncodeBuffer(mixed))) << label;
  }
}

// Each chunk's record is checked as the launcher will read it on the worker
// that checks it: a stream that does not decode is the packer's own fault,
// and so is one that decodes to other bytes than were read, found once
// the file's record would be queued.
TEST(ChunkRecords, ARecordIsCheckedAsTheLauncherReadsIt) {
  std::string text;
  for (int line = 0; line < 3000; ++line) text += "line " + std::to_string(line % 97) + " of the level\n";
  const Bytes contents = Text(text);
  const std::vector<PackFileInfo> files = {{"Quorvane.exe", contents.size()}};
  const UnitPlan plan(files, Level::kFast);
  ASSERT_EQ(plan.segments.size(), 1u);
  compression::ChunkEncoder encoder(Level::kFast);
  const std::span<const std::uint8_t> good =
      encoder.EncodeSegment(contents, 0, static_cast<std::uint32_t>(contents.size()), {});
  const Bytes goodStream(good.begin(), good.end());
  ASSERT_FALSE(goodStream.empty());
  Bytes otherContents = contents;
  otherContents[contents.size() / 2] ^= 0x10;
  const std::span<const std::uint8_t> other =
      encoder.EncodeSegment(otherContents, 0, static_cast<std::uint32_t>(contents.size()), {});
  struct Case {
    std::string label;
    Bytes stream;
    bool decodes;
  };
  const std::vector<Case> cases = {
      {"as encoded", goodStream, true},
      {"cut short", Bytes(goodStream.begin(), goodStream.begin() + static_cast<std::ptrdiff_t>(good.size() / 2)),
       false},
      {"no code at all", Bytes(goodStream.size(), 0xFF), false},
      {"other bytes", Bytes(other.begin(), other.end()), true},
  };
  // The digest of the file as it was read.
  const ReadFilePart read = [&contents](std::size_t, std::uint64_t offset, std::span<std::uint8_t> buffer) {
    std::copy_n(contents.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(), buffer.begin());
  };
  SegmentReader reader(plan, read);
  reader.Read(0);
  FileDigests digests(files, plan);
  digests.Add(0, reader.inputs()[0]);
  for (const Case& c : cases) {
    ChunkRecords records(files, plan);
    std::vector<EncodedSegment> encoded(1);
    encoded[0].stream = c.stream;
    Bytes payload;
    const PayloadOutput output = AppendingTo(payload);  // outlives the writer, which keeps it
    OrderedOutput out(output);
    RecordAssembler assembler(files, plan, digests, records, out);
    std::string failure;
    try {
      records.SegmentDone(0, encoded);
      EXPECT_TRUE(c.decodes) << c.label;
      assembler.Finish(0);
      out.Finish();
    } catch (const Error& error) {
      failure = error.what();
    }
    const bool sameBytes = c.stream == goodStream;
    EXPECT_EQ(failure.empty(), sameBytes) << c.label << ": " << failure;
    if (sameBytes) {
      EXPECT_EQ(ParsePayloadManifest(payload).size(), 1u) << c.label;
      continue;
    }
    EXPECT_TRUE(failure.starts_with("internal error: ")) << c.label;
    EXPECT_NE(failure.find("Quorvane.exe: "), std::string::npos) << c.label;
  }
}

// A file's chunks are checked and hashed in order whichever worker ends
// first: here the last segment ends first, on a thread of its own, and is
// checked once those before it are in. A segment that fails (one kept
// only as a stream that does not decode, in a chunk to be stored raw)
// fails whichever worker checks it, and neither is left waiting.
TEST(ChunkRecords, SegmentsAreCheckedInOrderWhicheverEndsFirst) {
  const Bytes contents = Noise((std::size_t{64} << 20) + 10, 6);
  const std::vector<PackFileInfo> files = {{"big.pak", contents.size()}};
  const UnitPlan plan(files, Level::kFast);
  ASSERT_EQ(plan.chunks.size(), 2u);
  for (const bool damaged : {false, true}) {
    // Kept raw, as noise is, so that nothing needs encoding here.
    std::vector<EncodedSegment> encoded(plan.segments.size());
    for (std::size_t i = 0; i < plan.segments.size(); ++i) {
      const Segment& segment = plan.segments[i];
      const auto from = static_cast<std::ptrdiff_t>(plan.chunks[segment.chunk].offset + segment.from);
      encoded[i].raw.assign(contents.begin() + from, contents.begin() + from + (segment.to - segment.from));
    }
    if (damaged) {
      encoded[1].raw.clear();
      encoded[1].stream = Bytes(16, 0xFF);
    }
    ChunkRecords records(files, plan);
    std::atomic<int> failures = 0;
    const auto done = [&](std::size_t segment) {
      try {
        records.SegmentDone(segment, encoded);
      } catch (const Error&) {
        ++failures;
      }
    };
    std::thread second([&] { done(plan.segments.size() - 1); });
    for (std::size_t i = 0; i + 1 < plan.segments.size(); ++i) done(i);
    second.join();
    EXPECT_EQ(failures, damaged ? 1 : 0);
    EXPECT_EQ(records.checked(), damaged ? 0u : 2u);
    if (!damaged) {
      EXPECT_EQ(records.DecodedDigest(0), HashSha256(contents));
    }
  }
}

// The fingerprint that ties stored bytes read back to those checked tells
// apart every change a fault may make: a bit anywhere (the last bytes that
// fill no lane too), words swapped, a byte more or less.
TEST(StoredFingerprint, TellsApartEveryChangeOfTheBytes) {
  const Bytes bytes = Noise(1000, 8);
  std::vector<std::pair<std::string, Bytes>> variants = {{"as stored", bytes}};
  for (const std::size_t at : std::initializer_list<std::size_t>{0, 31, 32, 500, 999}) {
    Bytes flipped = bytes;
    flipped[at] ^= 1;
    variants.emplace_back("bit flipped at " + std::to_string(at), flipped);
  }
  Bytes swapped = bytes;
  std::swap_ranges(swapped.begin(), swapped.begin() + 8, swapped.begin() + 8);
  variants.emplace_back("first two words swapped", swapped);
  variants.emplace_back("a byte less", Bytes(bytes.begin(), bytes.end() - 1));
  Bytes longer = bytes;
  longer.push_back(0);
  variants.emplace_back("a zero more", longer);
  variants.emplace_back("zeros", Bytes(1000, 0));
  variants.emplace_back("a zero less", Bytes(999, 0));
  for (std::size_t a = 0; a < variants.size(); ++a) {
    EXPECT_EQ(StoredFingerprint(variants[a].second), StoredFingerprint(Bytes(variants[a].second))) << variants[a].first;
    for (std::size_t b = a + 1; b < variants.size(); ++b) {
      EXPECT_NE(StoredFingerprint(variants[a].second), StoredFingerprint(variants[b].second))
          << variants[a].first << " / " << variants[b].first;
    }
  }
}

// The payload is written on a thread of its own: its failure (a full disk)
// still ends the packing, with its own error.
TEST(WritePayload, AFailingOutputEndsThePackingWithItsError) {
  const std::vector<TestFile> files = MixedGame();
  int allPieces = 0;
  WriteInMemory(files, Level::kFast, {}, 1, [&](std::span<const std::uint8_t>) { ++allPieces; });
  ASSERT_GT(allPieces, 3);
  for (const int failingPiece : {1, 3, allPieces}) {
    for (const unsigned jobs : {1u, 2u}) {
      int pieces = 0;
      const PayloadOutput output = [&](std::span<const std::uint8_t>) {
        if (++pieces == failingPiece) throw std::runtime_error("disk full");
      };
      try {
        WriteInMemory(files, Level::kFast, {}, jobs, output);
        ADD_FAILURE() << "a failed write went unnoticed, piece " << failingPiece << ", jobs " << jobs;
      } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "disk full") << "piece " << failingPiece << ", jobs " << jobs;
      }
      EXPECT_EQ(pieces, failingPiece) << "nothing is written after the failure";
    }
  }
}

// Listed in path order, as a folder's are.
TEST(CheckPackFiles, RefusesWithEveryProblemListed) {
  const std::vector<TestFile> files = {
      {"game.exe", Text("x")}, {"a b.txt", Text("x")}, {"data/save", Text("x")}, {"NUL", {}}};
  try {
    PackInMemory(files);
    FAIL() << "refused files were packed";
  } catch (const PackRefused& refusal) {
    std::vector<std::string> paths;
    for (const PackProblem& problem : refusal.problems()) paths.push_back(problem.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"NUL", "Quorvane.exe", "a b.txt", "data/save"}));
    const std::string text = refusal.what();
    EXPECT_TRUE(text.starts_with("4 problems")) << text;
    for (const std::string& path : paths) EXPECT_NE(text.find("\n  " + path + ": "), std::string::npos) << path;
  }
}

}  // namespace
}  // namespace qvn::pack
