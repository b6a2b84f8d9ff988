// Streams written by Windows' own compressor decode to exactly what Windows
// compressed.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "compression/buffer_format.h"
#include "compression/huffman_decoder.h"
#include "compression/lz_decoder.h"

namespace qvn::compression {
namespace {

namespace fs = std::filesystem;

fs::path KnownAnswerDirectory() { return fs::path(QVN_TESTDATA_DIR) / "xpress-huffman"; }

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

class KnownAnswerTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(KnownAnswerDirectory())) {
      GTEST_SKIP() << "known-answer data not found at " << KnownAnswerDirectory()
                   << " (it lives in the shared folder beside the repository)";
    }
  }
};

TEST_F(KnownAnswerTest, RawStreamsDecodeToTheirExpansions) {
  std::vector<fs::path> streams;
  for (const auto& entry : fs::directory_iterator(KnownAnswerDirectory() / "raw")) {
    if (entry.path().extension() == ".lzhuff") {
      streams.push_back(entry.path());
    }
  }
  // The set covers multi-block streams, escapes and 64 KiB boundaries; a
  // handful would mean the wrong folder.
  ASSERT_GE(streams.size(), 50u);

  const auto tables = std::make_unique<HuffmanDecoder>();
  for (const fs::path& stream : streams) {
    fs::path expansion = stream;
    expansion.replace_extension(".decomp");
    const std::vector<std::uint8_t> expected = ReadFile(expansion);
    std::vector<std::uint8_t> output(expected.size());
    EXPECT_TRUE(DecodeLzHuffman(ReadFile(stream), output, *tables)) << stream.filename();
    EXPECT_TRUE(output == expected) << stream.filename();
  }
}

struct BufferModeCase {
  std::string stream;
  std::uint64_t expandedSize;
  std::string expansionFile;  // compared byte for byte when given
  std::string sha256;         // otherwise the expansion's SHA-256
};

TEST_F(KnownAnswerTest, BufferModeStreamsDecodeToTheirStatedContents) {
  const std::vector<BufferModeCase> cases = {
      {"kadath-999.xpress", 999, "kadath-999.decomp", ""},
      // Two chunk records (64 MiB and 4 KiB) and the 32-bit length escape.
      {"abcd-64mib-then-x4096.xpress", 67112960, "",
       "a9353ab2caa572df2413abcdce1135f481d0e8298fe2fb4ff6fe67e8d2d1c095"},
  };
  for (const BufferModeCase& c : cases) {
    SCOPED_TRACE(c.stream);
    const fs::path directory = KnownAnswerDirectory() / "buffer-mode";
    std::vector<std::uint8_t> output(c.expandedSize);
    const DecodeResult result = DecodeBuffer(ReadFile(directory / c.stream), output);
    ASSERT_EQ(result.status, DecodeStatus::kOk);
    EXPECT_EQ(result.produced, c.expandedSize);
    if (!c.expansionFile.empty()) {
      EXPECT_TRUE(output == ReadFile(directory / c.expansionFile));
    } else {
      EXPECT_EQ(DigestHex(HashSha256(output)), c.sha256);
    }
  }
}

}  // namespace
}  // namespace qvn::compression
