// Prints, for one body of test data, the codec's decoding speed and, per
// level, its encoding speed and ratio; with wimlib present, wimlib's XPRESS
// compressor and decompressor on the same data cut into 64 KiB blocks, as
// the peer. Figures only: the machines are shared, so compare within a run.
//
// Usage: codec_bench [FILE...]   (default: shared libraries and headers of
// this system, about 100 MB)

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <span>
#include <string>
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
constexpr int kDecodeRepeats = 3;

void AppendFile(const fs::path& path, std::size_t limit, std::vector<std::uint8_t>& data) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::uint8_t> contents{std::istreambuf_iterator<char>(file), {}};
  contents.resize(std::min(contents.size(), limit - data.size()));
  data.insert(data.end(), contents.begin(), contents.end());
}

// Regular files under `directory` whose names pass `wanted`, in name order
// so that every run reads the same bytes.
void AppendFiles(const fs::path& directory, const std::function<bool(const fs::path&)>& wanted,
                 bool recursive, std::size_t budget, std::vector<std::uint8_t>& data) {
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
  AppendFiles("/usr/lib/x86_64-linux-gnu",
              [](const fs::path& p) { return p.filename().string().find(".so") != std::string::npos; },
              false, kDefaultBinaryBytes, data);
  AppendFiles("/usr/include", [](const fs::path& p) { return p.extension() == ".h"; }, true,
              kDefaultTextBytes, data);
  return data;
}

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double MegabytesPerSecond(std::size_t bytes, double seconds) { return bytes / 1e6 / seconds; }

void PrintRow(const char* codec, const char* what, double mbPerSecond, double ratio) {
  if (ratio > 0) {
    std::printf("%-28s %-8s %9.1f MB/s   ratio %.4f\n", codec, what, mbPerSecond, ratio);
  } else {
    std::printf("%-28s %-8s %9.1f MB/s\n", codec, what, mbPerSecond);
  }
}

void BenchOurs(std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> output(data.size());
  for (Level level : {Level::kFast, Level::kStrong}) {
    std::vector<std::uint8_t> stream;
    const double encodeSeconds = Seconds([&] { stream = EncodeBuffer(data, level); });
    const std::string name = std::string("qvn level ") + (level == Level::kFast ? "1 (fast)" : "2 (strong)");
    PrintRow(name.c_str(), "encode", MegabytesPerSecond(data.size(), encodeSeconds),
             static_cast<double>(stream.size()) / data.size());

    double best = 1e30;
    for (int i = 0; i < kDecodeRepeats; ++i) {
      bool ok = false;
      best = std::min(best, Seconds([&] {
        ok = DecodeBuffer(stream, output).status == DecodeStatus::kOk;
      }));
      if (!ok || !std::equal(output.begin(), output.end(), data.begin())) {
        std::printf("%s: round trip FAILED\n", name.c_str());
        return;
      }
    }
    PrintRow(name.c_str(), "decode", MegabytesPerSecond(data.size(), best), 0);
  }
}

#if QVN_HAVE_WIMLIB
void BenchWimlib(std::span<const std::uint8_t> data) {
  constexpr std::size_t kBlock = 65536;
  constexpr unsigned kLevel = 50;
  wimlib_compressor* compressor = nullptr;
  wimlib_decompressor* decompressor = nullptr;
  if (wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kBlock, kLevel, &compressor) != 0 ||
      wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kBlock, &decompressor) != 0) {
    std::printf("wimlib: cannot create the XPRESS compressor\n");
    return;
  }
  // Each block compressed alone; blocks that do not shrink are kept raw,
  // as a container of independent blocks would.
  struct Block {
    std::size_t offset, size, compressedSize;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Block> blocks;
  std::size_t total = 0;
  const double encodeSeconds = Seconds([&] {
    for (std::size_t offset = 0; offset < data.size(); offset += kBlock) {
      const std::size_t size = std::min(kBlock, data.size() - offset);
      Block block{offset, size, 0, std::vector<std::uint8_t>(size)};
      block.compressedSize =
          wimlib_compress(data.data() + offset, size, block.bytes.data(), size - 1, compressor);
      total += block.compressedSize != 0 ? block.compressedSize : size;
      blocks.push_back(std::move(block));
    }
  });
  PrintRow("wimlib XPRESS level 50", "encode", MegabytesPerSecond(data.size(), encodeSeconds),
           static_cast<double>(total) / data.size());

  std::vector<std::uint8_t> output(data.size());
  double best = 1e30;
  for (int i = 0; i < kDecodeRepeats; ++i) {
    bool ok = true;
    best = std::min(best, Seconds([&] {
      for (const Block& block : blocks) {
        if (block.compressedSize == 0) {
          std::copy_n(data.data() + block.offset, block.size, output.data() + block.offset);
        } else if (wimlib_decompress(block.bytes.data(), block.compressedSize,
                                     output.data() + block.offset, block.size, decompressor) != 0) {
          ok = false;
        }
      }
    }));
    if (!ok || !std::equal(output.begin(), output.end(), data.begin())) {
      std::printf("wimlib: round trip FAILED\n");
      break;
    }
  }
  PrintRow("wimlib XPRESS level 50", "decode", MegabytesPerSecond(data.size(), best), 0);
  wimlib_free_decompressor(decompressor);
  wimlib_free_compressor(compressor);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::uint8_t> data;
  if (argc > 1) {
    for (int i = 1; i < argc; ++i) AppendFile(argv[i], SIZE_MAX, data);
  } else {
    data = DefaultData();
  }
  if (data.empty()) {
    std::fprintf(stderr, "no test data\n");
    return 1;
  }
  std::printf("data: %zu bytes\n", data.size());
  BenchOurs(data);
#if QVN_HAVE_WIMLIB
  BenchWimlib(data);
#else
  std::printf("wimlib: not built in (install libwim-dev and reconfigure to compare)\n");
#endif
  return 0;
}
