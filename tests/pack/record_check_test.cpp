#include "tools/pack/packing/record_check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <exception>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "base/sha256.h"
#include "compression/buffer_format.h"
#include "payload/payload_container_writer.h"
#include "tests/pack/minimal_pe_image.h"
#include "tests/support/in_memory_payload.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/text_bytes.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/atomic_write/output_file.h"
#include "tools/pack/examine/packed_output_check.h"
#include "tools/pack/packing/ordered_output.h"

namespace qvn::pack {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::ScratchFolder;
using testing::Text;

const unsigned kJobCounts[] = {1, 2, 4};

// A file record as the packer stores it: header, name, stream.
Bytes RecordOf(const std::string& name, const Bytes& contents) {
  ContainerRecord record;
  record.name = name;
  record.expandedSize = static_cast<std::uint32_t>(contents.size());
  record.digest = HashSha256(contents);
  const Bytes stream = contents.empty() ? Bytes{} : compression::EncodeBuffer(contents);
  Bytes bytes = RecordHeaderBytes(record, static_cast<std::uint32_t>(stream.size()));
  bytes.insert(bytes.end(), stream.begin(), stream.end());
  return bytes;
}

// Output made as `build` makes it, its records checked by `jobs` threads
// besides the calling one, and renamed into place only when all passed: a
// record with a planted fault must keep the earlier file in place.
TEST(RecordChecks, APlantedFaultInARecordKeepsTheOutputFromItsName) {
  const Bytes text = Text(std::string(40000, 'r') + "end\n");
  struct Case {
    std::string label;
    std::size_t byte;  // flipped in the middle record; 0: none
    std::string named;
  };
  const std::vector<Case> cases = {
      {"as packed", 0, ""},
      {"a wrong digest", 20, "assets/level.txt: "},
      {"a wrong expanded size", 4, "assets/level.txt: "},
      {"a damaged stream", 200, "assets/level.txt: "},
  };
  const Bytes earlier = Text("an earlier payload");
  for (const unsigned jobs : kJobCounts) {
    for (const Case& c : cases) {
      const std::string label = c.label + ", jobs " + std::to_string(jobs);
      std::vector<Bytes> records = {RecordOf("Quorvane.exe", Text("main")), RecordOf("assets/level.txt", text),
                                    RecordOf("readme.txt", {})};
      if (c.byte != 0) records[1][c.byte] ^= 1;
      // Nothing of the middle record, or after it, may reach the file.
      const std::size_t beforeFault = ContainerHeaderBytes(3).size() + records[0].size();
      Bytes expected = ContainerHeaderBytes(3);
      for (const Bytes& record : records) expected.insert(expected.end(), record.begin(), record.end());

      ScratchFolder folder(std::to_string(jobs) + "-" + std::to_string(&c - cases.data()));
      const fs::path out = folder.Write("game.payload", earlier);
      std::string failure;
      std::size_t given = 0;
      try {
        OutputFile file(out);
        const PayloadOutput output = [&file, &given](std::span<const std::uint8_t> bytes) {
          given += bytes.size();
          file.Write(bytes);
        };
        RecordChecks checks;
        OrderedOutput ordered(output, checks);
        std::atomic<bool> queued = false;
        std::vector<std::thread> workers;
        for (unsigned i = 0; i < jobs; ++i) {
          workers.emplace_back([&checks, &queued] {
            try {
              while (checks.RunOne() || !queued) {
              }
            } catch (const Error&) {  // raised again by Finish
            }
          });
        }
        ordered.Queue(ContainerHeaderBytes(3));
        for (Bytes& record : records) {
          ordered.QueueRecord(std::move(record));
          ordered.GiveSome(1 << 20);
        }
        queued = true;
        PayloadSummary summary;
        try {
          summary = ordered.Finish();
        } catch (...) {
          for (std::thread& worker : workers) worker.join();
          throw;
        }
        for (std::thread& worker : workers) worker.join();
        EXPECT_EQ(summary.digest, HashSha256(expected)) << label;
        file.Commit([&summary](const fs::path& written) { CheckWrittenPayload(written, summary.digest); });
      } catch (const Error& error) {
        failure = error.what();
      }
      if (c.named.empty()) {
        EXPECT_EQ(failure, "") << label;
        EXPECT_TRUE(ReadFileBytes(out) == expected) << label;
      } else {
        EXPECT_TRUE(failure.starts_with("internal error: ")) << label << ": " << failure;
        EXPECT_NE(failure.find("\n  " + c.named), std::string::npos) << label << ": " << failure;
        EXPECT_EQ(ReadFileBytes(out), earlier) << label;
        EXPECT_LE(given, beforeFault) << label;
      }
      EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(folder.path()), {}), std::vector<fs::path>{out}) << label;
    }
  }
}

// The bytes checked are the bytes that must reach the file: one changed on
// its way to the disk, after its record passed, still keeps the name from
// the file, at every number of jobs.
TEST(RecordChecks, BytesChangedAfterTheirCheckKeepTheOutputFromItsName) {
  const std::vector<testing::TestFile> game = {{"Quorvane.exe", Text(std::string(300000, 'q'))},
                                               {"readme.txt", Text("Quorvane\n")}};
  const Bytes earlier = Text("an earlier payload");
  for (const unsigned jobs : kJobCounts) {
    for (const bool changed : {false, true}) {
      const std::string label = std::string(changed ? "changed" : "as checked") + ", jobs " + std::to_string(jobs);
      ScratchFolder folder(std::to_string(jobs) + (changed ? "-changed" : "-kept"));
      const fs::path out = folder.Write("game.payload", earlier);
      std::string failure;
      try {
        OutputFile file(out);
        const PayloadSummary summary =
            testing::WriteInMemory(game, compression::Level::kFast, {}, jobs, [&](std::span<const std::uint8_t> bytes) {
              Bytes written(bytes.begin(), bytes.end());
              if (changed && written.size() > 100) written[100] ^= 1;
              file.Write(written);
            });
        file.Commit([&summary](const fs::path& written) { CheckWrittenPayload(written, summary.digest); });
      } catch (const Error& error) {
        failure = error.what();
      }
      if (changed) {
        EXPECT_NE(failure.find("payload: the bytes written are not the bytes checked"), std::string::npos)
            << label << ": " << failure;
        EXPECT_EQ(ReadFileBytes(out), earlier) << label;
      } else {
        EXPECT_EQ(failure, "") << label;
        EXPECT_TRUE(ReadFileBytes(out) == testing::PackInMemory(game)) << label;
      }
    }
  }
}

// A launcher image must carry, as resources 101 and 102, the payload whose
// records were checked and its digest; anything else is the packer's fault.
TEST(RecordChecks, ALauncherCarriesThePayloadChecked) {
  const Bytes payload = testing::PackInMemory({{"Quorvane.exe", Text(std::string(5000, 'q'))}});
  const Sha256 checked = HashSha256(payload);
  const Bytes digest(checked.begin(), checked.end());
  Bytes changed = payload;
  changed.back() ^= 1;
  const Sha256 changedDigest = HashSha256(changed);
  Bytes trailing = payload;
  trailing.push_back(0);
  const Sha256 trailingDigest = HashSha256(trailing);
  struct Case {
    std::string label;
    Bytes image;
    Sha256 checked;
    std::string failure;  // in the text; empty: passes
  };
  const std::vector<Case> cases = {
      {"as packed", testing::MakePeImage({{10, 101, 0, payload}, {10, 102, 0, digest}}), checked, ""},
      {"another digest", testing::MakePeImage({{10, 101, 0, payload}, {10, 102, 0, Bytes(32, 7)}}), checked,
       "resource 102: "},
      {"no digest", testing::MakePeImage({{10, 101, 0, payload}}), checked, "resource 102: "},
      {"a payload changed after its check", testing::MakePeImage({{10, 101, 0, changed}, {10, 102, 0, digest}}),
       checked, "payload (resource 101): the bytes written are not the bytes checked"},
      {"a container with bytes after its records",
       testing::MakePeImage(
           {{10, 101, 0, trailing}, {10, 102, 0, Bytes(trailingDigest.begin(), trailingDigest.end())}}),
       trailingDigest, "container: "},
      {"no payload", testing::MakePeImage({{24, 1, 0, Text("<assembly/>")}}), changedDigest, "executable: "},
  };
  for (const Case& c : cases) {
    std::string failure;
    try {
      CheckPackedLauncher(c.image, c.checked);
    } catch (const Error& error) {
      failure = error.what();
    }
    if (c.failure.empty()) {
      EXPECT_EQ(failure, "") << c.label;
    } else {
      EXPECT_TRUE(failure.starts_with("internal error: ")) << c.label << ": " << failure;
      EXPECT_NE(failure.find("\n  " + c.failure), std::string::npos) << c.label << ": " << failure;
    }
  }
}

}  // namespace
}  // namespace qvn::pack
