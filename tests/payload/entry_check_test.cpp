#include "payload/entry_check.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "compression/buffer_format.h"
#include "compression/chunk_by_chunk_decode.h"
#include "payload/payload_fault.h"

namespace qvn {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct EntryCase {
  std::string label;
  Bytes stored;
  std::uint32_t expandedSize;
  Sha256 digest;
  std::optional<PayloadFault> fault;  // nullopt: the entry passes
  std::string message;
};

// Each fault as the launcher reports it, in the order it checks: the
// decoder's code, then the size, then the digest. The packer's check a
// chunk at a time gives the same verdict and message.
TEST(EntryCheckTest, DecodesToTheExpandedSizeThenMatchesTheDigest) {
  const Bytes contents(1000, 'q');
  const Bytes stream = compression::EncodeBuffer(contents);
  const Sha256 digest = HashSha256(contents);
  const Sha256 emptyDigest = HashSha256({});
  Bytes damaged = stream;
  damaged[6] ^= 0xFF;  // the header's check byte

  const std::vector<EntryCase> cases = {
      {"intact", stream, 1000, digest, std::nullopt, ""},
      {"empty file", {}, 0, emptyDigest, std::nullopt, ""},
      {"damaged stream, before its digest", damaged, 1000, emptyDigest, PayloadFault::kDecompressionFailed,
       "Portable runtime decompression failed (Windows error 605)"},
      {"stream longer than the entry", stream, 999, digest, PayloadFault::kDecompressionFailed,
       "Portable runtime decompression failed (Windows error 122)"},
      {"stream shorter than the entry", stream, 1001, digest, PayloadFault::kExpandedSizeMismatch,
       "Portable expanded file size mismatch"},
      {"other contents", stream, 1000, emptyDigest, PayloadFault::kFileDigestMismatch,
       "Portable file SHA-256 mismatch"},
      {"empty file, other digest", {}, 0, digest, PayloadFault::kFileDigestMismatch, "Portable file SHA-256 mismatch"},
  };
  PortableStreamDecoder decoder;
  compression::HuffmanDecoder tables{};
  for (const EntryCase& c : cases) {
    const PayloadEntry entry{L"x", c.expandedSize, c.digest, c.stored};
    Bytes expanded(c.expandedSize);
    try {
      CheckEntryContents(entry, expanded, decoder);
      EXPECT_FALSE(c.fault) << c.label << " passed";
      EXPECT_EQ(expanded, Bytes(contents.begin(), contents.begin() + c.expandedSize)) << c.label;
    } catch (const PayloadError& error) {
      EXPECT_EQ(error.fault(), c.fault) << c.label;
      EXPECT_EQ(std::string(error.what()), c.message) << c.label;
    }
    Bytes scratch(compression::ChunkScratchSize(c.expandedSize));
    try {
      CheckEntryChunkByChunk(entry, scratch, tables);
      EXPECT_FALSE(c.fault) << c.label << " passed a chunk at a time";
    } catch (const PayloadError& error) {
      EXPECT_EQ(error.fault(), c.fault) << c.label << ", a chunk at a time";
      EXPECT_EQ(std::string(error.what()), c.message) << c.label << ", a chunk at a time";
    }
  }
}

}  // namespace
}  // namespace qvn
