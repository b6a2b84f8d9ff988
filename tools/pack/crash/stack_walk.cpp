#include "tools/pack/crash/stack_walk.h"

#include <algorithm>
#include <optional>

#include "tools/pack/crash/x64_unwinder.h"

namespace qvn::pack {
namespace {

// Whether the bytes before `pc` end in a call: E8 with a 32-bit
// displacement, or FF /2 in one of its register or memory forms.
bool FollowsCall(const PeImageFile& image, std::uint32_t rva) {
  const auto byteBefore = [&](std::uint32_t back) -> int {
    if (rva < back) return -1;
    try {
      return image.U8At(rva - back, "code");
    } catch (const PeFormatError&) {
      return -1;
    }
  };
  if (byteBefore(5) == 0xE8) return true;
  for (std::uint32_t back = 2; back <= 7; ++back) {
    const int modrm = byteBefore(back - 1);
    if (byteBefore(back) == 0xFF && modrm >= 0 && ((modrm >> 3) & 7) == 2) return true;
  }
  return false;
}

// A value on the stack that may be a return address: into a module's code
// just after a call where its image is known, anywhere in a module where
// it is not.
bool LooksLikeReturnAddress(const std::vector<ModuleImage>& images, std::uint64_t value) {
  const ModuleImage* entry = ImageAt(images, value);
  if (entry == nullptr) return false;
  if (!entry->image) return true;
  const auto rva = static_cast<std::uint32_t>(value - entry->module->base);
  return entry->image->IsCode(rva) && FollowsCall(*entry->image, rva);
}

class Walker {
 public:
  Walker(const Minidump& dump, const DumpThread& thread, const std::vector<ModuleImage>& images)
      : dump_(dump), thread_(thread), images_(images) {}

  StackWalk Walk(const X64Registers& context) {
    StackWalk walk;
    X64Registers registers = context;
    walk.frames.push_back({registers.rip, registers.rsp(), FrameTrust::kContext});
    while (true) {
      if (walk.frames.size() == kMaxFrames) {
        walk.stopReason = "frame limit of " + std::to_string(kMaxFrames) + " reached";
        break;
      }
      FrameTrust trust = FrameTrust::kUnwind;
      std::optional<X64Registers> caller = Unwind(registers);
      if (!caller) {
        trust = FrameTrust::kScan;
        caller = Scan(registers);
      }
      if (!caller) {
        walk.stopReason = "end of stack memory";
        break;
      }
      if (caller->rip == 0) {
        walk.stopReason = "end of the call chain";
        break;
      }
      if (caller->rsp() <= registers.rsp()) {
        walk.stopReason = "the stack pointer stopped growing (a loop)";
        break;
      }
      walk.frames.push_back({caller->rip, caller->rsp(), trust});
      registers = *caller;
    }
    return walk;
  }

 private:
  bool OnStack(std::uint64_t address) const {
    const DumpMemory& stack = thread_.stack;
    return address >= stack.start && address - stack.start < stack.bytes.size();
  }

  // A step by the unwind information, if the module's image is known and
  // its result lands in a module again, within the stack.
  std::optional<X64Registers> Unwind(const X64Registers& registers) const {
    const ModuleImage* entry = ImageAt(images_, registers.rip);
    if (entry == nullptr || !entry->image) return std::nullopt;
    const ProcessMemory memory = [this](std::uint64_t address) { return dump_.ReadU64(address); };
    try {
      std::optional<X64Registers> caller = UnwindOneFrame(*entry->image, entry->module->base, registers, memory);
      if (!caller || !OnStack(caller->rsp() - 8)) return std::nullopt;
      if (caller->rip != 0 && ImageAt(images_, caller->rip) == nullptr) return std::nullopt;
      return caller;
    } catch (const PeFormatError&) {
      return std::nullopt;
    }
  }

  std::optional<X64Registers> Scan(const X64Registers& registers) const {
    const DumpMemory& stack = thread_.stack;
    const std::uint64_t end = stack.start + stack.bytes.size();
    for (std::uint64_t slot = std::max(registers.rsp(), stack.start); slot + 8 <= end; slot += 8) {
      const std::optional<std::uint64_t> value = dump_.ReadU64(slot);
      if (value && LooksLikeReturnAddress(images_, *value)) {
        X64Registers caller = registers;
        caller.rip = *value;
        caller.gpr[X64Registers::kRsp] = slot + 8;
        return caller;
      }
    }
    return std::nullopt;
  }

  const Minidump& dump_;
  const DumpThread& thread_;
  const std::vector<ModuleImage>& images_;
};

}  // namespace

StackWalk WalkStack(const Minidump& dump, const DumpThread& thread, const X64Registers& context,
                    const std::vector<ModuleImage>& images) {
  return Walker(dump, thread, images).Walk(context);
}

}  // namespace qvn::pack
