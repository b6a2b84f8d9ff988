// The launcher's decompressor keeps the Compression API's contract, and
// where the system's own Compression API exists, each side reads the
// other's streams.

#include "runtime/decompressor.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <compressapi.h>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/win/unique_handle.h"
#include "compression/buffer_format.h"

namespace qvn {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr DWORD kErrorBadCompressionBuffer = 605;
constexpr std::size_t kSampleSize = 300000;

Bytes SampleText(std::size_t size, unsigned seed) {
  Bytes text;
  for (unsigned i = 0; text.size() < size; ++i) {
    const std::string line = "entry " + std::to_string((i * 7919 + seed) % 1000) + " of the runtime\r\n";
    text.insert(text.end(), line.begin(), line.end());
  }
  text.resize(size);
  return text;
}

struct Outcome {
  bool succeeded;
  DWORD error;  // 0 when it succeeded
  std::size_t produced;
};

Outcome DecompressWhole(Decompressor& decompressor, const Bytes& stream, Bytes& output) {
  std::size_t produced = 12345;
  SetLastError(0);
  const bool succeeded = decompressor.Decompress(stream.data(), stream.size(), output.empty() ? nullptr : output.data(),
                                                 output.size(), &produced);
  return {succeeded, succeeded ? 0 : GetLastError(), produced};
}

struct ContractCase {
  std::string name;
  Bytes stream;
  std::size_t capacity;
  Outcome expected;
};

TEST(DecompressorTest, FailuresCarryTheCompressionApiErrorCodes) {
  const Bytes sample = SampleText(kSampleSize, 1);
  const Bytes good = compression::EncodeBuffer(sample);
  Bytes badMagic = good;
  badMagic[0] ^= 0xFF;
  const std::vector<ContractCase> cases = {
      {"intact", good, kSampleSize, {true, 0, kSampleSize}},
      // Extraction then reports "Portable expanded file size mismatch".
      {"expands to less than the room", good, kSampleSize + 1, {true, 0, kSampleSize}},
      {"room one byte short: the size needed", good, kSampleSize - 1, {false, ERROR_INSUFFICIENT_BUFFER, kSampleSize}},
      {"no room at all: the size needed", good, 0, {false, ERROR_INSUFFICIENT_BUFFER, kSampleSize}},
      {"damaged header", badMagic, kSampleSize, {false, kErrorBadCompressionBuffer, 0}},
      {"chunk cut short", Bytes(good.begin(), good.end() - 1), kSampleSize, {false, kErrorBadCompressionBuffer, 0}},
      {"nothing at all", Bytes{}, kSampleSize, {false, kErrorBadCompressionBuffer, 0}},
  };
  for (const ContractCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::unique_ptr<Decompressor> decompressor = CreateDecompressor();
    Bytes output(c.capacity);
    const Outcome outcome = DecompressWhole(*decompressor, c.stream, output);
    EXPECT_EQ(outcome.succeeded, c.expected.succeeded);
    EXPECT_EQ(outcome.error, c.expected.error);
    EXPECT_EQ(outcome.produced, c.expected.produced);
    if (outcome.succeeded) {
      EXPECT_TRUE(std::equal(sample.begin(), sample.end(), output.begin()));
    }
  }
}

TEST(DecompressorTest, OneDecompressorServesAWholeExtraction) {
  struct Entry {
    Bytes contents;
    bool damaged;
  };
  const std::vector<Entry> entries = {
      {SampleText(1000, 2), false},  {SampleText(200000, 3), false}, {SampleText(70000, 4), true},
      {SampleText(66000, 5), false}, {Bytes(300, 'z'), false},       {SampleText(1, 6), false},
  };
  const std::unique_ptr<Decompressor> decompressor = CreateDecompressor();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    Bytes stream = compression::EncodeBuffer(entries[i].contents, compression::Level::kStrong);
    if (entries[i].damaged) stream.pop_back();
    Bytes output(entries[i].contents.size());
    const Outcome outcome = DecompressWhole(*decompressor, stream, output);
    EXPECT_EQ(outcome.succeeded, !entries[i].damaged);
    if (outcome.succeeded) {
      EXPECT_TRUE(output == entries[i].contents);
    } else {
      EXPECT_EQ(outcome.error, kErrorBadCompressionBuffer);
    }
  }
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

TEST(DecompressorTest, DecodesAStreamWrittenByWindows) {
  const std::filesystem::path directory = std::filesystem::path(QVN_TESTDATA_DIR) / "xpress-huffman" / "buffer-mode";
  if (!std::filesystem::is_directory(directory)) {
    GTEST_SKIP() << "known-answer data not found at " << directory.string();
  }
  const Bytes expected = ReadFile(directory / "kadath-999.decomp");
  ASSERT_EQ(expected.size(), 999u);
  const std::unique_ptr<Decompressor> decompressor = CreateDecompressor();
  Bytes output(expected.size());
  const Outcome outcome = DecompressWhole(*decompressor, ReadFile(directory / "kadath-999.xpress"), output);
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(outcome.produced, expected.size());
  EXPECT_TRUE(output == expected);
}

// The system's Compression API, looked up at run time: Wine's cabinet.dll
// has no such exports, and a static import would keep the tests from
// starting there.
class SystemCompressionApi {
 public:
  SystemCompressionApi() : module_(LoadLibraryW(L"cabinet.dll")) {
    if (!module_.valid()) return;
    createCompressor_ = Find<decltype(&::CreateCompressor)>("CreateCompressor");
    compress_ = Find<decltype(&::Compress)>("Compress");
    closeCompressor_ = Find<decltype(&::CloseCompressor)>("CloseCompressor");
    createDecompressor_ = Find<decltype(&::CreateDecompressor)>("CreateDecompressor");
    decompress_ = Find<decltype(&::Decompress)>("Decompress");
    closeDecompressor_ = Find<decltype(&::CloseDecompressor)>("CloseDecompressor");
  }
  bool available() const {
    return createCompressor_ && compress_ && closeCompressor_ && createDecompressor_ && decompress_ &&
           closeDecompressor_;
  }

  Bytes Compress(const Bytes& data) const {
    COMPRESSOR_HANDLE compressor = nullptr;
    if (!createCompressor_(COMPRESS_ALGORITHM_XPRESS_HUFF, nullptr, &compressor)) return {};
    Bytes stream(data.size() + data.size() / 8 + 1024);
    SIZE_T size = 0;
    const BOOL ok =
        compress_(compressor, const_cast<std::uint8_t*>(data.data()), data.size(), stream.data(), stream.size(), &size);
    closeCompressor_(compressor);
    stream.resize(ok ? size : 0);
    return stream;
  }

  // The expansion, or nothing when the system refuses the stream.
  Bytes Decompress(const Bytes& stream, std::size_t capacity) const {
    DECOMPRESSOR_HANDLE decompressor = nullptr;
    if (!createDecompressor_(COMPRESS_ALGORITHM_XPRESS_HUFF, nullptr, &decompressor)) return {};
    Bytes output(capacity);
    SIZE_T size = 0;
    const BOOL ok = decompress_(decompressor, const_cast<std::uint8_t*>(stream.data()), stream.size(), output.data(),
                                output.size(), &size);
    closeDecompressor_(decompressor);
    output.resize(ok ? size : 0);
    return output;
  }

 private:
  template <typename Function>
  Function Find(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_.get(), name)));
  }

  qvn::UniqueModule module_;
  decltype(&::CreateCompressor) createCompressor_ = nullptr;
  decltype(&::Compress) compress_ = nullptr;
  decltype(&::CloseCompressor) closeCompressor_ = nullptr;
  decltype(&::CreateDecompressor) createDecompressor_ = nullptr;
  decltype(&::Decompress) decompress_ = nullptr;
  decltype(&::CloseDecompressor) closeDecompressor_ = nullptr;
};

TEST(SystemCompressionApiTest, SystemAndLauncherReadEachOthersStreams) {
  const SystemCompressionApi system;
  if (!system.available()) {
    GTEST_SKIP() << "Compression API not available (Wine)";
  }
  const std::vector<Bytes> inputs = {SampleText(1, 7), SampleText(301, 8), SampleText(65537, 9), SampleText(500000, 10),
                                     Bytes(200000, 0)};
  for (const Bytes& input : inputs) {
    SCOPED_TRACE("input of " + std::to_string(input.size()) + " bytes");
    const Bytes systemStream = system.Compress(input);
    ASSERT_FALSE(systemStream.empty());
    const std::unique_ptr<Decompressor> decompressor = CreateDecompressor();
    Bytes output(input.size());
    EXPECT_TRUE(DecompressWhole(*decompressor, systemStream, output).succeeded);
    EXPECT_TRUE(output == input);
    for (compression::Level level : {compression::Level::kFast, compression::Level::kStrong}) {
      EXPECT_TRUE(system.Decompress(compression::EncodeBuffer(input, level), input.size()) == input);
    }
  }
}

}  // namespace
}  // namespace qvn
