#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/pack/crash/minidump_reader.h"
#include "tools/pack/crash/module_images.h"

namespace qvn::pack {

// How a frame was found: the thread's own context, the module's unwind
// information, or a stack scan for a return address.
enum class FrameTrust { kContext, kUnwind, kScan };

struct StackFrame {
  std::uint64_t pc = 0;  // the faulting instruction, or a return address
  std::uint64_t sp = 0;
  FrameTrust trust = FrameTrust::kContext;
};

struct StackWalk {
  std::vector<StackFrame> frames;
  std::string stopReason;
};

inline constexpr std::size_t kMaxFrames = 64;

// The call stack of a thread, innermost first, from its context. Each step
// unwinds with the module's unwind information where its image is known;
// elsewhere, or where that fails, it scans the stack for the next value
// that points just after a call into a known module. It stops at the end of
// the stack memory, after kMaxFrames frames, and where the stack pointer
// does not grow (a loop).
StackWalk WalkStack(const Minidump& dump, const DumpThread& thread, const X64Registers& context,
                    const std::vector<ModuleImage>& images);

}  // namespace qvn::pack
