#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/sha256.h"
#include "compression/buffer_format.h"
#include "payload/payload_manifest.h"
#include "tests/support/in_memory_payload.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/text_bytes.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/atomic_write/output_file.h"
#include "tools/pack/examine/packed_output_check.h"
#include "tools/pack/examine/payload_verification.h"
#include "tools/pack/examine/stored_name.h"
#include "tools/pack/packing/game_folder.h"

namespace qvn::pack {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using compression::Level;
using testing::ScratchFolder;

using testing::PackInMemory;
using testing::TestFile;
using testing::Text;
using testing::WriteInMemory;

Bytes PackFolder(const GameFolderScan& scan, Level level, const PackProgress& progress = {}, unsigned jobs = 1) {
  Bytes payload;
  WriteGameFolderPayload(scan, level, progress, jobs, AppendingTo(payload));
  return payload;
}

Bytes Noise(std::size_t size) {
  std::mt19937 engine(7);
  Bytes bytes(size);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(engine());
  return bytes;
}

const std::vector<std::pair<std::string, Bytes>> kMixedGame = {
    {"Quorvane.exe", Noise(1 << 20)},   {"assets/levels/first.txt", Text(std::string(20000, 'x') + "end\n")},
    {"assets/empty.dat", {}},           {"save-template/.keep", {}},
    {"readme.txt", Text("Quorvane\n")},
};

void WriteGame(const ScratchFolder& folder, const std::vector<std::pair<std::string, Bytes>>& files) {
  for (const auto& [name, bytes] : files) folder.Write(name, bytes);
}

TEST(PackGameFolder, AMixedFolderPacksVerifiesAndExpandsToTheSameBytes) {
  ScratchFolder folder;
  WriteGame(folder, kMixedGame);
  fs::create_directories(folder.path() / "assets" / "unused");

  const GameFolderScan scan = ScanGameFolder(folder.path());
  EXPECT_EQ(scan.emptyFolders, std::vector<std::string>{"assets/unused"});
  EXPECT_TRUE(scan.problems.empty());
  const Bytes payload = PackFolder(scan, Level::kFast);

  const VerificationReport report = VerifyPayloadFile(payload, 1);
  EXPECT_TRUE(report.passed()) << (report.failures.empty() ? "" : report.failures[0].text);
  const PayloadManifest manifest = ParsePayloadManifest(payload);
  ASSERT_EQ(manifest.size(), kMixedGame.size());
  for (const PayloadEntry& entry : manifest) {
    const std::string name = StoredName(entry);
    Bytes expanded(entry.expandedSize);
    if (!expanded.empty()) compression::DecodeBuffer(entry.storedData, expanded);
    EXPECT_EQ(expanded, ReadFileBytes(folder.path() / name)) << name;
  }
}

TEST(PackGameFolder, TwoBuildsOfTheSameFolderAreByteIdentical) {
  ScratchFolder first("first");
  ScratchFolder second("second");
  WriteGame(first, kMixedGame);
  std::vector<std::pair<std::string, Bytes>> reversed(kMixedGame.rbegin(), kMixedGame.rend());
  WriteGame(second, reversed);  // same tree, created in another order
  for (const Level level : {Level::kFast, Level::kStrong}) {
    const Bytes payload = PackFolder(ScanGameFolder(first.path()), level);
    EXPECT_EQ(PackFolder(ScanGameFolder(first.path()), level), payload);
    EXPECT_EQ(PackFolder(ScanGameFolder(second.path()), level), payload);
  }
}

// The payload must not depend on how many threads packed it, nor on
// whether the files came from a folder or from memory.
TEST(PackGameFolder, EveryNumberOfJobsGivesTheSamePayload) {
  std::vector<std::pair<std::string, Bytes>> manySmall = {{"Quorvane.exe", Text("MZ")}};
  for (std::size_t i = 0; i < 40; ++i)
    manySmall.push_back(
        {"assets/part" + std::to_string(i), Text(std::string(300 + 97 * i, static_cast<char>('a' + i % 26)))});
  // Zeros encode fast even without optimisation; the noise at the end makes
  // the last chunk a raw one. Files hold at most 128 MiB, two chunks.
  Bytes severalChunks(compression::kBufferChunkSize + 5000, 0);
  const Bytes tail = Noise(5000);
  std::copy(tail.begin(), tail.end(), severalChunks.end() - 5000);
  // A fast-level chunk is encoded in 8 MiB segments, on several threads at
  // once; a last segment of a few bytes must not turn the chunk raw.
  Bytes segmentsAndTail(std::size_t{16} << 20, 0);
  const Bytes text = Text("the last few bytes");
  segmentsAndTail.insert(segmentsAndTail.end(), text.begin(), text.end());
  // Small files go to a worker together, up to 512 KiB; larger ones alone.
  std::vector<std::pair<std::string, Bytes>> aroundAUnit = {{"Quorvane.exe", Text("MZ")}};
  const std::size_t sizes[] = {300 << 10, 300 << 10, (512 << 10) - 1, 512 << 10, 1};
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    aroundAUnit.push_back({"assets/s" + std::to_string(i), Text(std::string(sizes[i], static_cast<char>('k' + i)))});
  }
  struct Case {
    std::string label;
    std::vector<std::pair<std::string, Bytes>> files;
    std::size_t leastProgressCalls;  // a 64 KiB block at a time, not a chunk
  };
  const std::vector<Case> cases = {
      {"many small files", manySmall, 41},
      {"small files about as large as a unit", aroundAUnit, 6},
      {"one file of two chunks, the most a file may have",
       {{"Quorvane.exe", Text("MZ")}, {"big.pak", severalChunks}},
       3},
      {"a chunk of segments, the last one short", {{"Quorvane.exe", Text("MZ")}, {"level.pak", segmentsAndTail}}, 3},
      {"empty and incompressible files",
       {{"Quorvane.exe", {}}, {"empty", {}}, {"noise", Noise(1 << 20)}, {"tiny", Text("x")}},
       16},
  };
  for (const Case& c : cases) {
    ScratchFolder folder(c.label.substr(0, 4));
    WriteGame(folder, c.files);
    std::vector<TestFile> inputs;
    for (const auto& [name, bytes] : c.files) inputs.push_back({name, bytes});
    const Bytes expected = PackInMemory(inputs, Level::kFast);
    EXPECT_TRUE(VerifyPayloadFile(expected, 2).passed()) << c.label;
    // The same streams as the codec's own one-thread encoding.
    for (const PayloadEntry& entry : ParsePayloadManifest(expected)) {
      const auto file =
          std::find_if(c.files.begin(), c.files.end(), [&](const auto& f) { return f.first == StoredName(entry); });
      ASSERT_NE(file, c.files.end()) << c.label;
      if (file->second.empty()) continue;
      EXPECT_TRUE(std::ranges::equal(entry.storedData, compression::EncodeBuffer(file->second)))
          << c.label << ": " << file->first;
      if (file->first == "level.pak") {
        EXPECT_LT(entry.storedData.size(), file->second.size() / 100);
      }
    }
    std::uint64_t size = 0;
    for (const auto& file : c.files) size += file.second.size();
    const GameFolderScan scan = ScanGameFolder(folder.path());
    for (unsigned jobs = 1; jobs <= 4; ++jobs) {
      std::vector<std::uint64_t> done;
      std::uint64_t total = 0;
      const PackProgress record = [&](std::uint64_t bytesDone, std::uint64_t bytesTotal) {
        done.push_back(bytesDone);
        total = bytesTotal;
      };
      EXPECT_TRUE(PackFolder(scan, Level::kFast, record, jobs) == expected) << c.label << ", jobs " << jobs;
      // Every worker's bytes counted once, rising to the whole.
      EXPECT_TRUE(std::is_sorted(done.begin(), done.end())) << c.label << ", jobs " << jobs;
      EXPECT_EQ(done.empty() ? 0 : done.back(), size) << c.label << ", jobs " << jobs;
      EXPECT_EQ(total, size) << c.label << ", jobs " << jobs;
      EXPECT_GE(done.size(), c.leastProgressCalls) << c.label << ", jobs " << jobs;
      EXPECT_TRUE(PackInMemory(inputs, Level::kFast, {}, jobs) == expected)
          << c.label << ", jobs " << jobs << " in memory";
    }
  }
}

TEST(WriteGameFolderPayload, AFailureMidwayLeavesTheEarlierOutputAndNoPartialFile) {
  struct Case {
    std::string label;
    std::string grown;  // after the walk, so that reading it fails; none: the run succeeds
    unsigned jobs;
  };
  const std::vector<Case> cases = {
      {"nothing changed", "", 1},
      {"nothing changed, 2 jobs", "", 2},
      {"the first file", "Quorvane.exe", 1},
      {"a file in the middle", "assets/levels/first.txt", 1},
      {"a file in the middle, 2 jobs", "assets/levels/first.txt", 2},
      {"a late file, after the others were written", "readme.txt", 1},
      {"a late file, 2 jobs", "readme.txt", 2},
  };
  const Bytes earlier = Text("an earlier payload");
  std::vector<TestFile> inputs;
  inputs.reserve(kMixedGame.size());
  for (const auto& [name, bytes] : kMixedGame) inputs.push_back({name, bytes});
  const Bytes expected = PackInMemory(inputs, Level::kFast);
  for (const Case& c : cases) {
    ScratchFolder folder(std::to_string(&c - cases.data()));
    WriteGame(folder, kMixedGame);
    const GameFolderScan scan = ScanGameFolder(folder.path());
    if (!c.grown.empty()) std::ofstream(folder.path() / c.grown, std::ios::binary | std::ios::app) << "!";
    const fs::path out = folder.Write("out/game.payload", earlier);
    PayloadSummary summary;
    bool failed = false;
    try {
      OutputFile file(out);
      summary = WriteGameFolderPayload(scan, Level::kFast, {}, c.jobs,
                                       [&file](std::span<const std::uint8_t> bytes) { file.Write(bytes); });
      file.Commit();
    } catch (const std::runtime_error& error) {
      failed = true;
      EXPECT_NE(std::string(error.what()).find(c.grown), std::string::npos) << c.label << ": " << error.what();
    }
    EXPECT_EQ(failed, !c.grown.empty()) << c.label;
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(out.parent_path()), {}), std::vector<fs::path>{out})
        << c.label;
    if (failed) {
      EXPECT_EQ(ReadFileBytes(out), earlier) << c.label;
    } else {
      EXPECT_TRUE(ReadFileBytes(out) == expected) << c.label;
      EXPECT_EQ(summary.size, expected.size()) << c.label;
      EXPECT_EQ(summary.digest, HashSha256(expected)) << c.label;
    }
  }
}

TEST(PackGameFolder, RefusesWithEveryOffenceListed) {
  ScratchFolder folder;
  const std::string longName(201, 'n');
  const std::vector<std::string> offending = {"a b.txt", "NUL.txt",      "trail.",     longName,
                                              "data/x",  "Portable.txt", "readme.txt", "README.txt"};
  for (const std::string& name : offending) folder.Write(name, Text("x"));
  folder.Write("quorvane.exe", Text("not the main executable: wrong case"));
  folder.Write("assets/real.txt", Text("target"));
  fs::create_symlink("real.txt", folder.path() / "assets" / "link.txt");
  fs::create_directory_symlink(folder.path() / "assets", folder.path() / "linked-folder");

  try {
    PackFolder(ScanGameFolder(folder.path()), Level::kFast);
    FAIL() << "an offending folder was packed";
  } catch (const PackRefused& refusal) {
    std::vector<std::string> named;
    for (const PackProblem& problem : refusal.problems()) named.push_back(problem.path);
    std::vector<std::string> expected = offending;
    expected.insert(expected.end(), {"Quorvane.exe", "assets/link.txt", "linked-folder"});
    std::sort(expected.begin(), expected.end());
    std::sort(named.begin(), named.end());
    EXPECT_EQ(named, expected);
    const std::string text = refusal.what();
    for (const std::string& path : expected) EXPECT_NE(text.find(path + ": "), std::string::npos) << path;
  }
}

TEST(PackGameFolder, LinksAreNeverFollowed) {
  ScratchFolder outside("outside");
  outside.Write("secret.txt", Text("outside the game"));
  struct Case {
    std::string label;
    std::string link;
    fs::path target;
    bool folder;
  };
  const std::vector<Case> cases = {
      {"file link to a file inside", "copy.txt", "readme.txt", false},
      {"file link outside", "secret.txt", outside.path() / "secret.txt", false},
      {"folder link outside", "outside", outside.path(), true},
      {"dangling link", "gone.txt", "nowhere.txt", false},
  };
  for (const Case& c : cases) {
    ScratchFolder folder("game");
    WriteGame(folder, {{"Quorvane.exe", Text("x")}, {"readme.txt", Text("x")}});
    if (c.folder) {
      fs::create_directory_symlink(c.target, folder.path() / c.link);
    } else {
      fs::create_symlink(c.target, folder.path() / c.link);
    }
    const GameFolderScan scan = ScanGameFolder(folder.path());
    ASSERT_EQ(scan.problems.size(), 1u) << c.label;
    EXPECT_EQ(scan.problems[0].path, c.link) << c.label;
    EXPECT_EQ(scan.files.size(), 2u) << c.label << ": nothing reached through the link";
    EXPECT_THROW(PackFolder(scan, Level::kFast), PackRefused) << c.label;
  }
}

// What `build` and `launcher` do before the rename: the file read back
// must hold each record where and as it was checked while packing, and
// have the digest taken as it was written; what does not never takes its
// name, and no partial file stays.
TEST(PackedOutputCheck, OnlyWhatWasCheckedTakesItsName) {
  const std::vector<TestFile> files = {
      {"Quorvane.exe", Text(std::string(3000, 'q'))}, {"b.txt", Text("bee")}, {"empty.txt", {}}};
  Bytes good;
  const std::vector<CheckedRecord> checked = WriteInMemory(files, Level::kFast, {}, 1, AppendingTo(good)).checked;
  ASSERT_EQ(checked.size(), 3u);
  Bytes badStream = good;
  badStream[static_cast<std::size_t>(checked[0].chunks[0].offset)] ^= 1;
  Bytes badDigest = good;
  badDigest[static_cast<std::size_t>(ParsePayloadManifest(good)[1].digest.data() - good.data())] ^= 1;
  std::vector<CheckedRecord> otherName = checked;
  otherName[1].name = "c.txt";
  std::vector<CheckedRecord> otherChunk = checked;
  ++otherChunk[0].chunks[0].fingerprint;
  std::vector<CheckedRecord> fewer = checked;
  fewer.pop_back();
  struct Case {
    std::string label;
    Bytes written;
    std::vector<CheckedRecord> checked;
    std::string failure;  // "" where it passes
  };
  // Each file digest is taken of the bytes written, so that only the
  // records' check can refuse them.
  const std::vector<Case> cases = {
      {"as packed", good, checked, ""},
      {"a stream byte changed", badStream, checked, "Quorvane.exe: its stored bytes are not the ones checked"},
      {"a digest changed", badDigest, checked, "b.txt: not of the digest checked"},
      {"another name checked", good, otherName, "b.txt: stored where c.txt was packed"},
      {"another chunk checked", good, otherChunk, "Quorvane.exe: its stored bytes are not the ones checked"},
      {"a record more", good, fewer, "container: holds 3 files where 2 were packed"},
      {"not a payload", Text("garbage"), checked, "container: "},
  };
  const Bytes earlier = Text("an earlier payload");
  for (const Case& c : cases) {
    ScratchFolder folder(std::to_string(&c - cases.data()));
    const fs::path out = folder.Write("game.payload", earlier);
    std::string failure;
    try {
      WriteFileBytes(out, c.written,
                     [&c](const fs::path& written) { CheckWrittenOutput(written, c.checked, HashSha256(c.written)); });
    } catch (const Error& error) {
      failure = error.what();
      EXPECT_TRUE(failure.starts_with("internal error: ")) << c.label << ": " << failure;
    }
    EXPECT_EQ(failure.empty(), c.failure.empty()) << c.label << ": " << failure;
    EXPECT_NE(failure.find(c.failure), std::string::npos) << c.label << ": " << failure;
    EXPECT_EQ(ReadFileBytes(out), c.failure.empty() ? c.written : earlier) << c.label;
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(folder.path()), {}), std::vector<fs::path>{out}) << c.label;
  }
  // `build` also holds the file read back to the digest it took as it wrote.
  for (const bool sameDigest : {true, false}) {
    ScratchFolder folder(sameDigest ? "same digest" : "other digest");
    const fs::path out = folder.Write("game.payload", earlier);
    const Sha256 digest = HashSha256(sameDigest ? good : earlier);
    bool refused = false;
    try {
      WriteFileBytes(out, good, [&](const fs::path& written) { CheckWrittenOutput(written, checked, digest); });
    } catch (const Error& error) {
      refused = true;
      EXPECT_NE(std::string(error.what()).find("payload digest: "), std::string::npos) << error.what();
    }
    EXPECT_EQ(refused, !sameDigest);
    EXPECT_EQ(ReadFileBytes(out), sameDigest ? good : earlier);
  }
}

}  // namespace
}  // namespace qvn::pack
