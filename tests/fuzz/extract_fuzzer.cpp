// `extract` end to end on any bytes, as a support machine runs it on a
// launcher that a player sent, into a fresh scratch folder beside a file of
// ours. Whatever the bytes, nothing may appear outside the target folder and
// our file must stay as it was; a refusal or a failed write leaves no target
// folder at all; a success leaves exactly as many plain files as it reports.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>

#include "tests/fuzz/fuzz_require.h"
#include "tests/support/scratch_folder.h"
#include "tools/pack/examine/payload_extraction.h"

namespace {

namespace fs = std::filesystem;

constexpr char kKeptContents[] = "not the extractor's";

using qvn::fuzz::Require;

std::string ContentsOf(const fs::path& path) {
  std::ifstream stream(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

// Plain files below `target`, after checking that everything in `scratch`
// is the kept file, the target or below it, and that nothing is a link.
std::size_t CheckScratch(const fs::path& scratch, const fs::path& target, const fs::path& kept) {
  std::size_t files = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(scratch)) {
    const fs::path& path = entry.path();
    Require(!entry.is_symlink());
    if (path == kept) continue;
    const fs::path relative = path.lexically_relative(target);
    Require(!relative.empty() && *relative.begin() != "..");
    if (entry.is_regular_file()) ++files;
  }
  Require(ContentsOf(kept) == kKeptContents);
  return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A folder of its own per input, removed again however the input ends.
  const qvn::testing::ScratchFolder scratch("extract-fuzz");
  const fs::path kept = scratch.path() / "kept.txt";
  const fs::path target = scratch.path() / "out";
  std::ofstream(kept, std::ios::binary) << kKeptContents;

  bool written = false;
  std::size_t reported = 0;
  try {
    reported = qvn::pack::ExtractPayloadFiles(std::span<const std::uint8_t>(data, size), target);
    written = true;
  } catch (const std::exception&) {
    // Refused, or a write failed midway: either way nothing may remain.
  }
  const std::size_t files = CheckScratch(scratch.path(), target, kept);
  if (written) {
    Require(files == reported);
  } else {
    Require(!fs::exists(fs::symlink_status(target)));
  }
  return 0;
}
