// The minidump reader and the stack walk on any bytes, as `qvn_pack crash`
// reads a dump that a player sent: a dump it takes must have every memory
// view inside the file, and a walk must end within its frame limit with
// every frame's stack pointer above the one before.

#include <cstddef>
#include <cstdint>
#include <span>

#include "tests/fuzz/fuzz_require.h"
#include "tools/pack/crash/crash_analysis.h"
#include "tools/pack/crash/crash_json.h"
#include "tools/pack/crash/crash_text.h"
#include "tools/pack/crash/minidump_reader.h"

namespace {

using qvn::fuzz::Require;

bool Inside(std::span<const std::uint8_t> part, std::span<const std::uint8_t> file) {
  return part.empty() || (part.data() >= file.data() && part.data() + part.size() <= file.data() + file.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qvn::pack;
  const std::span<const std::uint8_t> file(data, size);
  Minidump dump;
  try {
    dump = ReadMinidump(file);
  } catch (const DumpError&) {
    return 0;
  }
  for (const DumpThread& thread : dump.threads) Require(Inside(thread.stack.bytes, file));
  for (const DumpMemory& range : dump.memory) Require(Inside(range.bytes, file));

  // No images and no symbolizer: every step is a scan.
  const CrashAnalysis analysis = AnalyzeDump(dump, CodeSources{});
  Require(analysis.frames.size() <= kMaxFrames);
  for (std::size_t i = 1; i < analysis.frames.size(); ++i) {
    Require(analysis.frames[i].frame.sp > analysis.frames[i - 1].frame.sp);
  }
  Require(!FormatCrashText(analysis).empty());
  Require(!CrashJsonFields(analysis).dump().empty());
  return 0;
}
