#include "tools/pack/atomic_write/mapped_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "base/error.h"

namespace qvn::pack {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// How the packer reads back what it wrote: every byte as written, an empty
// file as no bytes, and a clear error for what is no readable file.
TEST(MappedFile, GivesTheFileAsWrittenOrRefusesIt) {
  const fs::path folder = fs::temp_directory_path() / ("qvn-mapped-" + std::to_string(std::random_device()()));
  fs::create_directories(folder);
  Bytes large(3 << 20);
  std::mt19937 engine(9);
  for (std::uint8_t& byte : large) byte = static_cast<std::uint8_t>(engine());
  struct Case {
    std::string name;
    std::optional<Bytes> contents;  // none: not written
    bool folder = false;
  };
  const std::vector<Case> cases = {
      {"large.bin", large}, {"empty.bin", Bytes{}}, {"missing.bin", std::nullopt}, {"sub", std::nullopt, true}};
  for (const Case& c : cases) {
    const fs::path path = folder / c.name;
    if (c.contents) {
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(c.contents->data()), static_cast<std::streamsize>(c.contents->size()));
    }
    if (c.folder) fs::create_directory(path);
    if (c.contents) {
      const MappedFile mapped(path);
      EXPECT_TRUE(std::ranges::equal(mapped.bytes(), *c.contents)) << c.name;
      continue;
    }
    try {
      const MappedFile mapped(path);
      ADD_FAILURE() << c.name << " was mapped";
    } catch (const Error& error) {
      EXPECT_NE(std::string(error.what()).find(c.name), std::string::npos) << error.what();
    }
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace qvn::pack
