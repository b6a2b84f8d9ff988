// Prints, for one body of test data, the codec's decoding speed and, per
// level, its encoding speed and ratio; with wimlib present, wimlib's XPRESS
// compressor and decompressor on the same data cut into 64 KiB blocks, as
// the peer. Speeds are by process CPU time. Figures only: the machines are
// shared, so compare within a run.
//
// Usage: codec_bench [--level 1|2] [--rounds N] [--decode-rounds N] [FILE...]
// (default data: shared libraries and headers of this system, about 100 MB).
// --level benches one level only and --rounds sets the fast level's (and
// wimlib's) encoding rounds, so that a profiler can watch one encoder;
// --decode-rounds 0 skips decoding.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <span>
#include <string>
#include <time.h>
#include <vector>

#include "compression/buffer_format.h"

#if QVN_HAVE_WIMLIB
#include <wimlib.h>
#endif

namespace {

namespace fs = std::filesystem;
using qvn::compression::DecodeBuffer;
using qvn::compression::DecodeStatus;
using qvn::compression::EncodeBuffer;
using qvn::compression::Level;

constexpr std::size_t kDefaultBinaryBytes = 90u << 20;
constexpr std::size_t kDefaultTextBytes = 14u << 20;

struct Options {
  std::vector<Level> levels = {Level::kFast, Level::kStrong};
  int encodeRounds = 3;
  int decodeRounds = 5;
  std::vector<std::string> files;
};

void AppendFile(const fs::path& path, std::size_t limit, std::vector<std::uint8_t>& data) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::uint8_t> contents{std::istreambuf_iterator<char>(file), {}};
  contents.resize(std::min(contents.size(), limit - data.size()));
  data.insert(data.end(), contents.begin(), contents.end());
}

// Regular files under `directory` whose names pass `wanted`, in name order
// so that every run reads the same bytes.
void AppendFiles(const fs::path& directory, const std::function<bool(const fs::path&)>& wanted, bool recursive,
                 std::size_t budget, std::vector<std::uint8_t>& data) {
  std::vector<fs::path> paths;
  std::error_code error;
  auto consider = [&](const fs::directory_entry& entry) {
    if (entry.is_regular_file(error) && !entry.is_symlink(error) && wanted(entry.path())) {
      paths.push_back(entry.path());
    }
  };
  if (recursive) {
    for (const auto& entry : fs::recursive_directory_iterator(directory, error)) consider(entry);
  } else {
    for (const auto& entry : fs::directory_iterator(directory, error)) consider(entry);
  }
  std::sort(paths.begin(), paths.end());
  const std::size_t limit = data.size() + budget;
  for (const fs::path& path : paths) {
    if (data.size() >= limit) break;
    AppendFile(path, limit, data);
  }
}

std::vector<std::uint8_t> DefaultData() {
  std::vector<std::uint8_t> data;
  AppendFiles(
      "/usr/lib/x86_64-linux-gnu",
      [](const fs::path& p) { return p.filename().string().find(".so") != std::string::npos; }, false,
      kDefaultBinaryBytes, data);
  AppendFiles(
      "/usr/include", [](const fs::path& p) { return p.extension() == ".h"; }, true, kDefaultTextBytes, data);
  return data;
}

// Process CPU time, not wall time: this benchmark runs one thread, and on a
// virtual machine wall time also counts the host's stalls, which swing
// several-fold between runs.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

double Seconds(const std::function<void()>& work) {
  const double start = CpuSeconds();
  work();
  return CpuSeconds() - start;
}

double MegabytesPerSecond(std::size_t bytes, double seconds) { return bytes / 1e6 / seconds; }

void PrintRow(const char* codec, const char* what, double mbPerSecond, double ratio) {
  if (ratio > 0) {
    std::printf("%-28s %-8s %9.1f MB/s   ratio %.4f\n", codec, what, mbPerSecond, ratio);
  } else {
    std::printf("%-28s %-8s %9.1f MB/s\n", codec, what, mbPerSecond);
  }
}

// A decoder under test: decodes everything into the output, true if it
// reported no error. The output is compared with the data outside the
// timed region, so that the figure is the decoder's alone.
struct Decoder {
  std::string name;
  std::function<bool()> decodeAll;
  double bestSeconds = 1e30;
};

// Encodes with each level: the fast level in `rounds` rounds (best time),
// the strong one once. Returns a decoder for each level's stream.
std::vector<Decoder> BenchOurEncoders(std::span<const std::uint8_t> data, const std::vector<Level>& levels, int rounds,
                                      const std::function<void()>& betweenRounds, std::vector<std::uint8_t>& output,
                                      std::vector<std::vector<std::uint8_t>>& streams) {
  std::vector<Decoder> decoders;
  streams.reserve(2);
  for (Level level : levels) {
    std::vector<std::uint8_t> stream;
    double best = 1e30;
    for (int round = 0; round < (level == Level::kFast ? rounds : 1); ++round) {
      best = std::min(best, Seconds([&] { stream = EncodeBuffer(data, level); }));
      if (level == Level::kFast) betweenRounds();
    }
    const std::string name = std::string("qvn level ") + (level == Level::kFast ? "1 (fast)" : "2 (strong)");
    PrintRow(name.c_str(), "encode", MegabytesPerSecond(data.size(), best),
             static_cast<double>(stream.size()) / data.size());
    streams.push_back(std::move(stream));
    const std::vector<std::uint8_t>& encoded = streams.back();
    decoders.push_back(
        {name, [&output, &encoded, data] { return DecodeBuffer(encoded, output).status == DecodeStatus::kOk; }});
  }
  return decoders;
}

#if QVN_HAVE_WIMLIB
// wimlib's XPRESS on 64 KiB blocks, each compressed alone; blocks that do
// not shrink are kept raw, as a container of independent blocks would.
class WimlibPeer {
 public:
  static constexpr std::size_t kBlock = 65536;
  static constexpr unsigned kLevel = 50;

  WimlibPeer() {
    if (wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kBlock, kLevel, &compressor_) != 0 ||
        wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kBlock, &decompressor_) != 0) {
      std::printf("wimlib: cannot create the XPRESS compressor\n");
    }
  }
  ~WimlibPeer() {
    if (decompressor_) wimlib_free_decompressor(decompressor_);
    if (compressor_) wimlib_free_compressor(compressor_);
  }
  WimlibPeer(const WimlibPeer&) = delete;
  WimlibPeer& operator=(const WimlibPeer&) = delete;

  bool ready() const { return compressor_ && decompressor_; }

  // One encoding of all blocks; keeps the best time of the calls.
  void Encode(std::span<const std::uint8_t> data) {
    blocks_.clear();
    total_ = 0;
    bestSeconds_ = std::min(bestSeconds_, Seconds([&] {
                              for (std::size_t offset = 0; offset < data.size(); offset += kBlock) {
                                const std::size_t size = std::min(kBlock, data.size() - offset);
                                Block block{offset, size, 0, std::vector<std::uint8_t>(size)};
                                block.compressedSize = wimlib_compress(data.data() + offset, size, block.bytes.data(),
                                                                       size - 1, compressor_);
                                total_ += block.compressedSize != 0 ? block.compressedSize : size;
                                blocks_.push_back(std::move(block));
                              }
                            }));
  }

  void PrintEncoding(std::size_t dataSize) const {
    PrintRow("wimlib XPRESS level 50", "encode", MegabytesPerSecond(dataSize, bestSeconds_),
             static_cast<double>(total_) / dataSize);
  }

  bool DecodeAll(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& output) const {
    for (const Block& block : blocks_) {
      if (block.compressedSize == 0) {
        std::copy_n(data.data() + block.offset, block.size, output.data() + block.offset);
      } else if (wimlib_decompress(block.bytes.data(), block.compressedSize, output.data() + block.offset, block.size,
                                   decompressor_) != 0) {
        return false;
      }
    }
    return true;
  }

 private:
  struct Block {
    std::size_t offset, size, compressedSize;
    std::vector<std::uint8_t> bytes;
  };
  wimlib_compressor* compressor_ = nullptr;
  wimlib_decompressor* decompressor_ = nullptr;
  std::vector<Block> blocks_;
  std::size_t total_ = 0;
  double bestSeconds_ = 1e30;
};
#endif

void Bench(std::span<const std::uint8_t> data, const Options& options) {
  std::vector<std::uint8_t> output(data.size());
  std::vector<std::vector<std::uint8_t>> streams;
#if QVN_HAVE_WIMLIB
  // wimlib's encodings alternate with ours, so that both see the same load.
  WimlibPeer wimlib;
  const std::function<void()> peerRound = [&] {
    if (wimlib.ready()) wimlib.Encode(data);
  };
#else
  const std::function<void()> peerRound = [] {};
#endif
  std::vector<Decoder> decoders =
      BenchOurEncoders(data, options.levels, options.encodeRounds, peerRound, output, streams);
  if (options.levels.front() != Level::kFast) {
    // Only the fast level's rounds alternate with the peer's.
    for (int round = 0; round < options.encodeRounds; ++round) peerRound();
  }
#if QVN_HAVE_WIMLIB
  if (wimlib.ready()) {
    wimlib.PrintEncoding(data.size());
    decoders.push_back({"wimlib XPRESS level 50", [&] { return wimlib.DecodeAll(data, output); }});
  }
#else
  std::printf("wimlib: not built in (install libwim-dev and reconfigure to compare)\n");
#endif
  // Rounds of every decoder in turn, best time each: a busy neighbour on a
  // shared machine then slows all of them alike.
  for (int round = 0; round < options.decodeRounds; ++round) {
    for (Decoder& decoder : decoders) {
      // A stale output must not pass for a fresh one.
      std::fill(output.begin(), output.end(), std::uint8_t{0});
      bool ok = false;
      decoder.bestSeconds = std::min(decoder.bestSeconds, Seconds([&] { ok = decoder.decodeAll(); }));
      ok = ok && std::equal(output.begin(), output.end(), data.begin());
      if (!ok) {
        std::printf("%s: round trip FAILED\n", decoder.name.c_str());
        return;
      }
    }
  }
  if (options.decodeRounds == 0) {
    return;
  }
  for (const Decoder& decoder : decoders) {
    PrintRow(decoder.name.c_str(), "decode", MegabytesPerSecond(data.size(), decoder.bestSeconds), 0);
  }
  if (decoders.size() == options.levels.size() + 1) {
    std::printf("decode speed relative to wimlib:");
    for (std::size_t i = 0; i < options.levels.size(); ++i) {
      std::printf("%s level %d %.2fx", i == 0 ? "" : ",", static_cast<int>(options.levels[i]),
                  decoders.back().bestSeconds / decoders[i].bestSeconds);
    }
    std::printf("\n");
  }
}

// False on a malformed command line.
bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument != "--level" && argument != "--rounds" && argument != "--decode-rounds") {
      options.files.push_back(argument);
      continue;
    }
    if (i + 1 == argc) {
      return false;
    }
    char* end = nullptr;
    const long value = std::strtol(argv[++i], &end, 10);
    if (*end != '\0' || value < 0 || value > 1000) {
      return false;
    }
    if (argument == "--level") {
      if (value != 1 && value != 2) {
        return false;
      }
      options.levels = {static_cast<Level>(value)};
    } else if (argument == "--rounds") {
      if (value == 0) {
        return false;
      }
      options.encodeRounds = static_cast<int>(value);
    } else {
      options.decodeRounds = static_cast<int>(value);
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: codec_bench [--level 1|2] [--rounds N] [--decode-rounds N] [FILE...]\n");
    return 2;
  }
  std::vector<std::uint8_t> data;
  if (!options.files.empty()) {
    for (const std::string& file : options.files) AppendFile(file, SIZE_MAX, data);
  } else {
    data = DefaultData();
  }
  if (data.empty()) {
    std::fprintf(stderr, "no test data\n");
    return 1;
  }
  std::printf("data: %zu bytes\n", data.size());
  Bench(data, options);
  return 0;
}
