#include "payload/payload_manifest.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "base/error.h"
#include "payload/payload_container_writer.h"

namespace qvn {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kAccepted = "accepted";
const std::string kTruncated = "Truncated portable payload";
const std::string kFormat = "Unsupported portable payload format";
const std::string kCount = "Invalid portable file count";
const std::string kSizeLimit = "Portable expanded size limit exceeded";
const std::string kEmpty = "Invalid empty portable file";
const std::string kReserved = "Reserved portable state path in runtime payload";
const std::string kConflict = "Conflicting portable payload paths";
const std::string kIncomplete = "Incomplete or trailing portable payload data";
const std::string kNameLength = "Invalid portable filename length";
const std::string kUnsafeName = "Unsafe portable filename";

// Offsets inside the first record, which starts right after the 12-byte header.
constexpr std::size_t kFirstName = 12;
constexpr std::size_t kFirstStored = 20;
constexpr std::size_t kFirstHeadEnd = 56;

struct PayloadCase {
  std::string label;
  Bytes payload;
  std::string expected;
};

ContainerRecord File(const std::string& name, std::uint32_t expandedSize = 1, std::size_t storedSize = 1) {
  return ContainerRecord{name, expandedSize, {}, Bytes(storedSize, 0x5A)};
}

ContainerRecord Main() { return File("Quorvane.exe"); }

Bytes Payload(const std::vector<ContainerRecord>& records) { return WritePayloadContainer(records); }

Bytes Cut(Bytes payload, std::size_t length) {
  payload.resize(length);
  return payload;
}

Bytes Patched(Bytes payload, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    payload[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
  return payload;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::vector<ContainerRecord> MainAndNumberedFiles(std::size_t total) {
  std::vector<ContainerRecord> records{Main()};
  for (std::size_t i = 1; i < total; ++i) {
    records.push_back(File("f" + std::to_string(i)));
  }
  return records;
}

std::string Outcome(const Bytes& payload) {
  try {
    ParsePayloadManifest(payload);
    return kAccepted;
  } catch (const Error& error) {
    return error.what();
  }
}

void ExpectOutcomes(const std::vector<PayloadCase>& cases) {
  for (const PayloadCase& c : cases) {
    EXPECT_EQ(Outcome(c.payload), c.expected) << c.label;
  }
}

TEST(PayloadManifestTest, HeaderNeedsMagicAndACountOf1To512) {
  const Bytes oneFile = Payload({Main()});
  ExpectOutcomes({
      {"empty", {}, kTruncated},
      {"7 bytes of the magic", Text("QVNPORT"), kTruncated},
      {"magic alone", Text("QVNPORT1"), kTruncated},
      {"magic and 3 count bytes", Cut(oneFile, 11), kTruncated},
      {"8 wrong bytes", Text("QVNPORT2"), kFormat},
      {"lower-case magic", Text(std::string("qvnport1\x01\0\0\0", 12)), kFormat},
      {"count 0", Patched(oneFile, 8, 0), kCount},
      {"count 513, header only", Patched(Cut(oneFile, 12), 8, 513), kCount},
      {"count 0xFFFFFFFF", Patched(oneFile, 8, 0xFFFFFFFF), kCount},
      {"count 513 with 513 records", Payload(MainAndNumberedFiles(513)), kCount},
      {"count 1", oneFile, kAccepted},
      {"count 512", Payload(MainAndNumberedFiles(512)), kAccepted},
      {"count 1, no record", Cut(oneFile, 12), kTruncated},
  });
}

TEST(PayloadManifestTest, SizeLimitsComeBeforeRecordPresence) {
  const Bytes oneFile = Payload({Main()});
  ExpectOutcomes({
      {"E at its limit", Payload({File("Quorvane.exe", 0x8000000)}), kAccepted},
      {"E one over", Payload({File("Quorvane.exe", 0x8000001)}), kSizeLimit},
      {"sum of E at its limit",
       Payload({File("Quorvane.exe", 0x8000000), File("a", 0x8000000), File("b", 0x8000000), File("c", 0x8000000)}),
       kAccepted},
      {"sum of E one over",
       Payload({File("Quorvane.exe", 0x8000000), File("a", 0x8000000), File("b", 0x8000000), File("c", 0x8000000),
                File("d", 1)}),
       kSizeLimit},
      {"S over its limit, record cut short", Patched(oneFile, kFirstStored, 0x20000001), kSizeLimit},
      {"S at its limit, record cut short", Patched(oneFile, kFirstStored, 0x20000000), kTruncated},
      {"E over, only the length fields present", Cut(Payload({File("Quorvane.exe", 0x8000001)}), 24), kSizeLimit},
      {"E over with an empty name", Payload({File("", 0x8000001)}), kSizeLimit},
  });
}

TEST(PayloadManifestTest, EveryRecordPartMustBePresent) {
  const Bytes oneFile = Payload({Main()});
  const Bytes badName = Payload({File("a b")});
  ExpectOutcomes({
      {"length fields cut", Cut(oneFile, 23), kTruncated},
      {"digest cut", Cut(oneFile, kFirstHeadEnd - 1), kTruncated},
      {"head complete, N runs past the end", Cut(oneFile, kFirstHeadEnd), kTruncated},
      {"unsafe name cut short", Cut(badName, kFirstHeadEnd + 2), kTruncated},
      {"N of 0xFFFFFFFF", Patched(oneFile, kFirstName, 0xFFFFFFFF), kTruncated},
      {"N = 0, head complete", Payload({File("")}), kNameLength},
      {"stored data one byte short", Cut(Payload({File("Quorvane.exe", 5, 5)}), oneFile.size() + 3), kTruncated},
      {"unsafe name before missing data", Cut(Payload({File("a b", 5, 5)}), kFirstHeadEnd + 4), kUnsafeName},
      {"second record cut", Cut(Payload({Main(), File("b")}), oneFile.size() + 44), kTruncated},
  });
}

TEST(PayloadManifestTest, ExpandedAndStoredSizeAreEmptyTogether) {
  ExpectOutcomes({
      {"empty file", Payload({Main(), File("empty.txt", 0, 0)}), kAccepted},
      {"stored bytes for an empty file", Payload({Main(), File("x", 0, 1)}), kEmpty},
      {"no stored bytes for a non-empty file", Payload({Main(), File("x", 1, 0)}), kEmpty},
      {"judged before the reserved name", Payload({File("portable.txt", 0, 1)}), kEmpty},
      {"judged after presence", Cut(Payload({File("x", 0, 4)}), kFirstHeadEnd + 3), kTruncated},
  });
}

TEST(PayloadManifestTest, PortableStatePathsAreReserved) {
  ExpectOutcomes({
      {"portable.txt", Payload({Main(), File("portable.txt")}), kReserved},
      {"Portable.TXT", Payload({Main(), File("Portable.TXT")}), kReserved},
      {"DATA/save.bin", Payload({Main(), File("DATA/save.bin")}), kReserved},
      {"data/x", Payload({Main(), File("data/x")}), kReserved},
      {"raised while reading records", Payload({File("data/x"), File("a b")}), kReserved},
      {"raised before conflicts", Payload({Main(), File("portable.txt"), File("portable.txt")}), kReserved},
      {"docs/portable.txt", Payload({Main(), File("docs/portable.txt")}), kAccepted},
      {"portable.txt.bak", Payload({Main(), File("portable.txt.bak")}), kAccepted},
      {"database/x.bin", Payload({Main(), File("database/x.bin")}), kAccepted},
      {"root file data", Payload({Main(), File("data")}), kAccepted},
      {"x/data/y", Payload({Main(), File("x/data/y")}), kAccepted},
  });
}

TEST(PayloadManifestTest, KeysNeitherRepeatNorLieInsideAnotherKey) {
  ExpectOutcomes({
      {"same name by case", Payload({Main(), File("QUORVANE.EXE")}), kConflict},
      {"same name twice", Payload({Main(), File("a/b"), File("a/b")}), kConflict},
      {"file used as directory", Payload({Main(), File("assets"), File("assets/x.png")}), kConflict},
      {"directory stored first, other case", Payload({Main(), File("Assets/x.png"), File("assets")}), kConflict},
      {"deep file used as directory", Payload({Main(), File("a/b/c/d"), File("a/b")}), kConflict},
      {"third key with . sorted between", Payload({Main(), File("a"), File("a.txt"), File("a/b")}), kConflict},
      {"third key with - sorted between", Payload({Main(), File("x/a/b/c"), File("x/a-b"), File("x/a")}), kConflict},
      {"similar prefix only", Payload({Main(), File("assets"), File("assets2/x.png")}), kAccepted},
      {"shared directory", Payload({Main(), File("a/b"), File("A/c"), File("a/b.txt")}), kAccepted},
      {"conflict before trailing bytes",
       [] {
         Bytes p = Payload({Main(), File("a"), File("a/b")});
         p.push_back(0);
         return p;
       }(),
       kConflict},
      {"conflict before a missing main", Payload({File("a"), File("a/b")}), kConflict},
  });
}

TEST(PayloadManifestTest, RecordsEndThePayloadAndIncludeTheMainExecutable) {
  Bytes extraByte = Payload({Main()});
  extraByte.push_back(0);
  ExpectOutcomes({
      {"one byte after the last record", extraByte, kIncomplete},
      {"one record more than declared", Patched(Payload({Main(), File("b")}), 8, 1), kIncomplete},
      {"main in other case", Payload({File("quorvane.exe")}), kIncomplete},
      {"main in a directory", Payload({File("bin/Quorvane.exe")}), kIncomplete},
      {"main with another extension", Payload({File("Quorvane.exe.bak")}), kIncomplete},
      {"main last", Payload({File("a"), File("b"), Main()}), kAccepted},
  });
}

TEST(PayloadManifestTest, ManifestViewsTheRecordsInStoredOrder) {
  ContainerRecord game = File("Quorvane.exe", 1000, 3);
  game.digest.fill(0xD1);
  ContainerRecord texture = File("Assets/Z.png", 7, 2);
  texture.digest.fill(0xD2);
  const ContainerRecord empty = File("a/empty", 0, 0);
  const Bytes payload = Payload({texture, game, empty});
  const std::uint8_t* const start = payload.data();

  const PayloadManifest manifest = ParsePayloadManifest(payload);

  struct Expected {
    std::wstring relativePath;
    std::uint32_t expandedSize;
    std::size_t digestOffset;
    std::size_t storedOffset;
    std::size_t storedSize;
  };
  // Record offsets: 12, then 12 + 44 + 12 + 2 = 70, then 70 + 44 + 12 + 3 = 129.
  const std::vector<Expected> expected = {
      {L"Assets/Z.png", 7, 24, 68, 2},
      {L"Quorvane.exe", 1000, 82, 126, 3},
      {L"a/empty", 0, 141, 0, 0},
  };
  ASSERT_EQ(manifest.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const PayloadEntry& entry = manifest[i];
    EXPECT_EQ(entry.relativePath, expected[i].relativePath) << i;
    EXPECT_EQ(entry.expandedSize, expected[i].expandedSize) << i;
    EXPECT_EQ(entry.digest.data(), start + expected[i].digestOffset) << i;
    EXPECT_EQ(entry.storedData.size(), expected[i].storedSize) << i;
    if (expected[i].storedSize != 0) {
      EXPECT_EQ(entry.storedData.data(), start + expected[i].storedOffset) << i;
    }
  }
  EXPECT_EQ(manifest[0].digest[31], 0xD2);
  EXPECT_EQ(manifest[1].digest[0], 0xD1);
  EXPECT_EQ(payload.size(), 129u + 44u + 7u);
}

}  // namespace
}  // namespace qvn
