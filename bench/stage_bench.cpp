// Times the launcher's stages natively, over the portable code only: hashing
// the payload (SHA-256 from OpenSSL), parsing it, decoding each entry,
// hashing each file, writing the files into each folder given (say a tmpfs
// and a disk) and removing them again. The best of three rounds per stage,
// by wall time, since writing and removing are mostly the kernel's work.
// No Windows code runs, so the sum is only an estimate of a Windows start.
//
// Usage: stage_bench PAYLOAD OUT_DIR...

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "payload/entry_check.h"
#include "payload/payload_manifest.h"

namespace {

namespace fs = std::filesystem;
constexpr int kRounds = 3;

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Best(const std::function<void()>& work) {
  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) best = std::min(best, Seconds(work));
  return best;
}

// Stored names are bytes widened to code units, with backslashes between
// their parts.
fs::path PathOf(const fs::path& root, const std::wstring& stored) {
  std::string name;
  for (wchar_t unit : stored) name.push_back(unit == L'\\' ? '/' : static_cast<char>(unit));
  return root / name;
}

void Print(const char* stage, double seconds) { std::printf("%-32s %8.4f s\n", stage, seconds); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: stage_bench PAYLOAD OUT_DIR...\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::vector<std::uint8_t> payload{std::istreambuf_iterator<char>(file), {}};
  const qvn::PayloadManifest manifest = qvn::ParsePayloadManifest(payload);
  std::size_t expanded = 0;
  std::uint32_t largest = 0;
  for (const qvn::PayloadEntry& entry : manifest) {
    expanded += entry.expandedSize;
    largest = std::max(largest, entry.expandedSize);
  }
  std::printf("payload %zu bytes, %zu entries, %zu bytes expanded\n", payload.size(), manifest.size(), expanded);

  Print("hash payload", Best([&] { qvn::HashSha256(payload); }));
  Print("parse", Best([&] { qvn::ParsePayloadManifest(payload); }));

  // Every file expanded once, for the stages that follow decoding.
  qvn::PortableStreamDecoder decoder;
  std::vector<std::vector<std::uint8_t>> files;
  for (const qvn::PayloadEntry& entry : manifest) files.emplace_back(entry.expandedSize);
  Print("decode", Best([&] {
          for (std::size_t i = 0; i < manifest.size(); ++i) {
            std::size_t produced = 0;
            if (!manifest[i].storedData.empty() && decoder.Decode(manifest[i].storedData, files[i], produced) != 0) {
              std::fprintf(stderr, "stage_bench: entry %zu does not decode\n", i);
            }
          }
        }));
  Print("hash each file", Best([&] {
          for (const auto& contents : files) qvn::HashSha256(contents);
        }));
  for (int i = 2; i < argc; ++i) {
    const fs::path root = fs::path(argv[i]) / "stage_bench";
    double write = 1e30;
    double remove = 1e30;
    for (int round = 0; round < kRounds; ++round) {
      fs::remove_all(root);
      write = std::min(write, Seconds([&] {
                         for (std::size_t e = 0; e < manifest.size(); ++e) {
                           const fs::path path = PathOf(root, manifest[e].relativePath);
                           fs::create_directories(path.parent_path());
                           std::ofstream out(path, std::ios::binary);
                           out.write(reinterpret_cast<const char*>(files[e].data()),
                                     static_cast<std::streamsize>(files[e].size()));
                         }
                       }));
      remove = std::min(remove, Seconds([&] { fs::remove_all(root); }));
    }
    Print(("write files to " + std::string(argv[i])).c_str(), write);
    Print(("remove files from " + std::string(argv[i])).c_str(), remove);
  }
  return 0;
}
