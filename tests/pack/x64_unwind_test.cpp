// The x64 unwinder on unwind codes that a small image of our own holds:
// the forms that GCC's frames use, which the crash tests meet for real, and
// those it never writes (large allocations, saved registers, chained
// entries, machine frames), with the caller's registers worked out by hand
// from the x64 calling convention's rules.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/pack/crash/x64_unwinder.h"
#include "tools/pack/image/pe_image_file.h"

namespace qvn::pack {
namespace {

constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::uint32_t kSectionFile = 0x200;
constexpr std::uint64_t kBase = 0x140000000;
constexpr int kRbx = 3;
constexpr int kRbp = 5;
constexpr int kRsi = 6;

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A PE32+ image with one section at 0x1000 whose function table lies at its
// start; `blobs` are placed at their RVAs.
struct Function {
  std::uint32_t begin, end, unwindInfo;
};
PeImageFile MakeImage(const std::vector<Function>& functions,
                      const std::map<std::uint32_t, std::vector<std::uint8_t>>& blobs) {
  std::vector<std::uint8_t> bytes(kSectionFile + 0x1000);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  Put32(bytes, 0x3C, 0x40);
  Put32(bytes, 0x40, 0x00004550);
  Put32(bytes, 0x44, 0x00018664);   // AMD64, one section
  Put32(bytes, 0x54, 0x002200F0);   // optional header of 240 bytes
  Put32(bytes, 0x58, 0x020B);       // PE32+
  Put32(bytes, 0x58 + 56, 0x2000);  // SizeOfImage
  Put32(bytes, 0x58 + 108, 16);     // data directories
  Put32(bytes, 0x58 + 112 + 3 * 8, kSectionRva);
  Put32(bytes, 0x58 + 112 + 3 * 8 + 4, static_cast<std::uint32_t>(12 * functions.size()));
  const std::size_t section = 0x58 + 240;
  bytes[section] = '.';
  bytes[section + 1] = 't';
  Put32(bytes, section + 8, 0x1000);
  Put32(bytes, section + 12, kSectionRva);
  Put32(bytes, section + 16, 0x1000);
  Put32(bytes, section + 20, kSectionFile);
  Put32(bytes, section + 36, 0x60000020);
  for (std::size_t i = 0; i < functions.size(); ++i) {
    Put32(bytes, kSectionFile + 12 * i, functions[i].begin);
    Put32(bytes, kSectionFile + 12 * i + 4, functions[i].end);
    Put32(bytes, kSectionFile + 12 * i + 8, functions[i].unwindInfo);
  }
  for (const auto& [rva, blob] : blobs) {
    std::copy(blob.begin(), blob.end(), bytes.begin() + (rva - kSectionRva + kSectionFile));
  }
  return PeImageFile(std::move(bytes));
}

// UNWIND_INFO: header, then each code as (prolog offset, op | info << 4),
// then extra slots as 16-bit values.
std::vector<std::uint8_t> Info(std::uint8_t flags, std::uint8_t prologSize, std::uint8_t frame,
                               const std::vector<std::uint16_t>& slots) {
  std::vector<std::uint8_t> info = {static_cast<std::uint8_t>(1 | (flags << 3)), prologSize,
                                    static_cast<std::uint8_t>(slots.size()), frame};
  for (const std::uint16_t slot : slots) {
    info.push_back(static_cast<std::uint8_t>(slot));
    info.push_back(static_cast<std::uint8_t>(slot >> 8));
  }
  if (slots.size() % 2 != 0) info.insert(info.end(), {0, 0});
  return info;
}
std::uint16_t Code(std::uint8_t offset, std::uint8_t op, std::uint8_t opInfo) {
  return static_cast<std::uint16_t>(offset | ((op | (opInfo << 4)) << 8));
}

struct UnwindCase {
  std::string name;
  std::vector<Function> functions;
  std::map<std::uint32_t, std::vector<std::uint8_t>> blobs;
  std::uint32_t pcRva;
  std::map<int, std::uint64_t> registers;  // besides RSP 0x1000
  std::map<std::uint64_t, std::uint64_t> memory;
  std::optional<std::uint64_t> callerRip;  // none: the step fails for want of memory
  std::uint64_t callerRsp = 0;
  std::map<int, std::uint64_t> callerRegisters;
};

TEST(X64Unwind, CallerRegistersFollowTheUnwindCodes) {
  const std::vector<UnwindCase> cases = {
      // push rbp; mov rbp, rsp; sub rsp, 0x20 (GCC's frame), then the body
      // moved RSP further: the frame register is what counts.
      {"frame pointer, in the body",
       {{0x1100, 0x1200, 0x1800}},
       {{0x1800, Info(0, 8, kRbp, {Code(8, 2, 3), Code(4, 3, 0), Code(1, 0, kRbp)})}},
       0x1150,
       {{kRbp, 0x1040}},
       {{0x1040, 0xAAAA}, {0x1048, kBase + 0x1234}},
       kBase + 0x1234,
       0x1050,
       {{kRbp, 0xAAAA}}},
      // Only the push has run: the frame register is not yet set.
      {"frame pointer, in the prolog after the push",
       {{0x1100, 0x1200, 0x1800}},
       {{0x1800, Info(0, 8, kRbp, {Code(8, 2, 3), Code(4, 3, 0), Code(1, 0, kRbp)})}},
       0x1101,
       {{kRbp, 0x5555}},
       {{0x1000, 0xBBBB}, {0x1008, kBase + 0x1300}},
       kBase + 0x1300,
       0x1010,
       {{kRbp, 0xBBBB}}},
      // sub rsp, 0x1000 (16-bit scaled form); mov [rsp+0x1010], rbx.
      {"large allocation and a saved register",
       {{0x1100, 0x1200, 0x1800}},
       {{0x1800, Info(0, 16, 0, {Code(16, 4, kRbx), 0x1010 / 8, Code(8, 1, 0), 0x1000 / 8})}},
       0x1180,
       {},
       {{0x2010, 0xCCCC}, {0x2000, kBase + 0x1400}},
       kBase + 0x1400,
       0x2008,
       {{kRbx, 0xCCCC}}},
      // sub rsp, 0x12345 (32-bit form).
      {"large allocation, 32-bit size",
       {{0x1100, 0x1200, 0x1800}},
       {{0x1800, Info(0, 8, 0, {Code(8, 1, 1), 0x2345, 0x0001})}},
       0x1180,
       {},
       {{0x1000 + 0x12345, kBase + 0x1500}},
       kBase + 0x1500,
       0x1000 + 0x12345 + 8,
       {}},
      // A function split in two: the fragment's entry chains to the main
      // part's, whose push of rsi has run too.
      {"chained entry",
       {{0x1100, 0x1180, 0x1800}, {0x1180, 0x1200, 0x1840}},
       {{0x1800, Info(0, 2, 0, {Code(2, 0, kRsi)})},
        {0x1840, [] {
           std::vector<std::uint8_t> info = Info(4, 0, 0, {Code(0, 2, 1)});  // chained, sub rsp, 0x10
           info.resize(info.size() + 12);
           Put32(info, info.size() - 12, 0x1100);
           Put32(info, info.size() - 8, 0x1180);
           Put32(info, info.size() - 4, 0x1800);
           return info;
         }()}},
       0x1190,
       {},
       {{0x1010, 0xDDDD}, {0x1018, kBase + 0x1600}},
       kBase + 0x1600,
       0x1020,
       {{kRsi, 0xDDDD}}},
      // An exception or interrupt frame: RIP and RSP come from it, nothing
      // is popped after it.
      {"machine frame",
       {{0x1100, 0x1200, 0x1800}},
       {{0x1800, Info(0, 0, 0, {Code(0, 10, 0)})}},
       0x1150,
       {},
       {{0x1000, kBase + 0x1700}, {0x1018, 0x7000}},
       kBase + 0x1700,
       0x7000,
       {}},
      // No entry in the function table: a leaf, returning from RSP.
      {"leaf function",
       {{0x1100, 0x1200, 0x1800}},
       {{0x1800, Info(0, 0, 0, {})}},
       0x1300,
       {},
       {{0x1000, kBase + 0x1800}},
       kBase + 0x1800,
       0x1008,
       {}},
      {"return address not in the dump", {}, {}, 0x1300, {}, {}, std::nullopt, 0, {}},
  };
  for (const UnwindCase& c : cases) {
    SCOPED_TRACE(c.name);
    const PeImageFile image = MakeImage(c.functions, c.blobs);
    X64Registers callee;
    callee.rip = kBase + c.pcRva;
    callee.gpr[X64Registers::kRsp] = 0x1000;
    for (const auto& [index, value] : c.registers) callee.gpr[static_cast<std::size_t>(index)] = value;
    const ProcessMemory memory = [&c](std::uint64_t address) -> std::optional<std::uint64_t> {
      const auto found = c.memory.find(address);
      if (found == c.memory.end()) return std::nullopt;
      return found->second;
    };
    const std::optional<X64Registers> caller = UnwindOneFrame(image, kBase, callee, memory);
    ASSERT_EQ(caller.has_value(), c.callerRip.has_value());
    if (!caller) continue;
    EXPECT_EQ(caller->rip, *c.callerRip);
    EXPECT_EQ(caller->rsp(), c.callerRsp);
    for (const auto& [index, value] : c.callerRegisters) EXPECT_EQ(caller->gpr[static_cast<std::size_t>(index)], value);
  }
}

TEST(X64Unwind, DamagedUnwindInformationIsRefused) {
  std::vector<std::uint8_t> loop = Info(4, 0, 0, {});
  loop.resize(loop.size() + 12);
  Put32(loop, 4, 0x1100);
  Put32(loop, 8, 0x1200);
  Put32(loop, 12, 0x1800);  // chained to itself
  const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> cases = {
      {"entries chained in a loop", loop},
      {"a code that runs past the count", Info(0, 0, 0, {Code(0, 1, 0)})},
      {"an unknown code", Info(0, 0, 0, {Code(0, 11, 0)})},
  };
  for (const auto& [name, info] : cases) {
    SCOPED_TRACE(name);
    const PeImageFile image = MakeImage({{0x1100, 0x1200, 0x1800}}, {{0x1800, info}});
    X64Registers callee;
    callee.rip = kBase + 0x1150;
    callee.gpr[X64Registers::kRsp] = 0x1000;
    const ProcessMemory memory = [](std::uint64_t) { return std::optional<std::uint64_t>(0); };
    EXPECT_THROW(UnwindOneFrame(image, kBase, callee, memory), PeFormatError);
  }
}

}  // namespace
}  // namespace qvn::pack
