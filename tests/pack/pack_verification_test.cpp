#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "payload/payload_manifest.h"
#include "tests/pack/minimal_pe_image.h"
#include "tests/support/in_memory_payload.h"
#include "tests/support/text_bytes.h"
#include "tools/pack/examine/payload_verification.h"

namespace qvn::pack {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::MakePeImage;
using testing::PeResource;

constexpr std::uint16_t kRcData = 10;

using testing::PackInMemory;
using testing::TestFile;
using testing::Text;

Bytes SmallGamePayload() {
  std::string text;
  for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i % 9) + "\n";
  return PackInMemory({{"Quorvane.exe", Text(text)}, {"assets/a.txt", Text("alpha\n")}, {"empty", {}}});
}

Bytes Launcher(const Bytes& payload, const Bytes& digest) {
  std::vector<PeResource> resources = {{24, 1, 0, Text("<assembly/>")}};
  if (!payload.empty()) resources.push_back({kRcData, 101, 0, payload});
  if (!digest.empty()) resources.push_back({kRcData, 102, 0, digest});
  return MakePeImage(resources);
}

Bytes DigestOf(const Bytes& bytes) {
  const Sha256 hash = HashSha256(bytes);
  return Bytes(hash.begin(), hash.end());
}

Bytes Flipped(Bytes bytes, std::size_t offset) {
  bytes[offset] ^= 0x01;
  return bytes;
}

struct VerifyCase {
  std::string label;
  Bytes file;
  std::vector<std::string> failures;  // each failure's start, in order
};

// The same verdicts, in stored order, whichever thread checks which entry.
void ExpectVerdicts(const std::vector<VerifyCase>& cases) {
  for (const unsigned jobs : {1u, 3u}) {
    for (const VerifyCase& c : cases) {
      const VerificationReport report = VerifyPayloadFile(c.file, jobs);
      ASSERT_EQ(report.failures.size(), c.failures.size())
          << c.label << ", " << jobs << " jobs" << (report.failures.empty() ? "" : ": " + report.failures[0].text);
      for (std::size_t i = 0; i < c.failures.size(); ++i) {
        EXPECT_TRUE(report.failures[i].text.starts_with(c.failures[i]))
            << c.label << ", " << jobs << " jobs: " << report.failures[i].text << " should start with "
            << c.failures[i];
      }
    }
  }
}

TEST(VerifyPayloadFile, APayloadAsItIsBuiltPasses) {
  const Bytes payload = SmallGamePayload();
  for (const Bytes& file : {payload, Launcher(payload, DigestOf(payload))}) {
    const VerificationReport report = VerifyPayloadFile(file, 1);
    EXPECT_TRUE(report.passed()) << (report.failures.empty() ? "" : report.failures[0].text);
    EXPECT_EQ(report.fileCount, 3u);
    EXPECT_EQ(report.expandedTotal, 400 * 7 + 6u);
  }
}

TEST(VerifyPayloadFile, AFlippedByteIsNamedByWhatItDamages) {
  const Bytes payload = SmallGamePayload();
  const PayloadManifest manifest = ParsePayloadManifest(payload);
  const auto offsetOf = [&](const std::uint8_t* inside) { return static_cast<std::size_t>(inside - payload.data()); };
  // Entries in stored order: Quorvane.exe, assets/a.txt, empty.
  const std::size_t mainStream = offsetOf(manifest[0].storedData.data());
  const std::size_t textDigest = offsetOf(manifest[1].digest.data());
  const std::size_t emptyDigest = offsetOf(manifest[2].digest.data());
  ExpectVerdicts({
      {"stream header", Flipped(payload, mainStream + 2), {"Quorvane.exe: Portable runtime decompression failed"}},
      {"stream body", Flipped(payload, mainStream + 100), {"Quorvane.exe: Portable"}},
      {"stored digest", Flipped(payload, textDigest + 31), {"assets/a.txt: Portable file SHA-256 mismatch"}},
      {"digest of an empty file", Flipped(payload, emptyDigest), {"empty: Portable file SHA-256 mismatch"}},
      {"two digests",
       Flipped(Flipped(payload, textDigest), emptyDigest),
       {"assets/a.txt: Portable file SHA-256 mismatch", "empty: Portable file SHA-256 mismatch"}},
      {"magic", Flipped(payload, 0), {"container: Unsupported portable payload format"}},
      {"file count", Flipped(payload, 8), {"container: Incomplete or trailing portable payload data"}},
      {"a name's first byte ('a' to '`')",
       Flipped(payload, offsetOf(manifest[1].storedData.data()) - 12),
       {"container: Unsafe portable filename"}},
  });
}

TEST(VerifyPayloadFile, ChecksALaunchersResourcesFirst) {
  const Bytes payload = SmallGamePayload();
  const Bytes digest = DigestOf(payload);
  const Bytes launcher = Launcher(payload, digest);
  const auto payloadOffset = static_cast<std::size_t>(
      std::search(launcher.begin(), launcher.end(), payload.begin(), payload.end()) - launcher.begin());
  const std::size_t mainStream =
      static_cast<std::size_t>(ParsePayloadManifest(payload)[0].storedData.data() - payload.data());
  ExpectVerdicts({
      {"digest resource differs",
       Launcher(payload, Flipped(digest, 5)),
       {"payload digest (resource 102): Embedded runtime SHA-256 mismatch"}},
      {"digest resource too short",
       Launcher(payload, Bytes(digest.begin(), digest.end() - 1)),
       {"payload digest (resource 102)"}},
      {"no digest resource", Launcher(payload, {}), {"resource 102: Portable EXE has no embedded runtime"}},
      {"payload byte flipped inside the launcher",
       Flipped(launcher, payloadOffset + mainStream + 100),
       {"payload digest (resource 102)", "Quorvane.exe: Portable"}},
      {"no payload resource", Launcher({}, digest), {"executable: Portable EXE has no embedded runtime"}},
      {"not a whole executable", Bytes(launcher.begin(), launcher.begin() + 0x100), {"executable: not a well-formed"}},
      {"neither executable nor payload", Text("hello, world"), {"container: Unsupported portable payload format"}},
      {"empty file", {}, {"container: Truncated portable payload"}},
  });
}

// A file of more than one 8 MiB segment is hashed a segment at a time, so
// each such file must start its hash afresh; zeros keep encoding quick, and
// a tail of its own makes each file different.
TEST(VerifyPayloadFile, SeveralFilesOverASegmentEachGetTheirOwnDigest) {
  const auto large = [](char tail) {
    Bytes bytes((std::size_t{8} << 20) + 4096, 0);
    bytes.back() = static_cast<std::uint8_t>(tail);
    return bytes;
  };
  const std::vector<std::vector<TestFile>> games = {
      {{"Quorvane.exe", Text("MZ")}, {"a.pak", large('a')}, {"b.pak", large('b')}},
      {{"Quorvane.exe", Text("MZ")}, {"a.pak", large('a')}, {"b.pak", large('b')}, {"c.pak", large('c')}},
  };
  for (const std::vector<TestFile>& game : games) {
    for (unsigned jobs : {1u, 2u}) {
      const VerificationReport report =
          VerifyPayloadFile(PackInMemory(game, compression::Level::kFast, {}, jobs), jobs);
      EXPECT_TRUE(report.passed()) << game.size() << " files, " << jobs << " jobs: " << report.failures[0].text;
      EXPECT_EQ(report.fileCount, game.size());
    }
  }
}

}  // namespace
}  // namespace qvn::pack
