#include "tools/pack/crash/stack_walk.h"

#include <algorithm>
#include <optional>

#include "tools/pack/crash/x64_unwinder.h"
#include "tools/pack/image/pe_function_table.h"

namespace qvn::pack {
namespace {

// The call that ends just before `rva` in `image`, if the bytes say so: a
// direct call (E8 and a 32-bit displacement) with its target, or FF /2 in
// one of its register or memory forms, whose target the bytes cannot tell.
struct CallBefore {
  bool found = false;
  std::optional<std::uint32_t> target;
};

CallBefore FindCallBefore(const PeImageFile& image, std::uint32_t rva) {
  const auto byteBefore = [&](std::uint32_t back) -> int {
    if (rva < back) return -1;
    try {
      return image.U8At(rva - back, "code");
    } catch (const PeFormatError&) {
      return -1;
    }
  };
  if (byteBefore(5) == 0xE8) {
    std::uint32_t displacement = 0;
    for (std::uint32_t i = 1; i <= 4; ++i) {
      displacement |= static_cast<std::uint32_t>(byteBefore(5 - i)) << (8 * (i - 1));
    }
    return {true, rva + displacement};
  }
  for (std::uint32_t back = 2; back <= 7; ++back) {
    const int modrm = byteBefore(back - 1);
    if (byteBefore(back) == 0xFF && modrm >= 0 && ((modrm >> 3) & 7) == 2) return {true, std::nullopt};
  }
  return {};
}

// Whether a direct call could have led to the callee's frame: it calls the
// callee's function where both lie in one image, and an import thunk
// (FF 25, a jump through the import table) where the callee lies elsewhere.
// A stale return address left on the stack by an earlier call rarely passes.
bool CallCouldReach(const PeImageFile& image, std::uint32_t target, const ModuleImage* calleeModule,
                    const ModuleImage& callerModule, std::uint64_t calleePc) {
  try {
    if (calleeModule == &callerModule) {
      const auto calleeRva = static_cast<std::uint32_t>(calleePc - callerModule.module->base);
      const std::optional<RuntimeFunction> callee = FindRuntimeFunction(image, calleeRva);
      return callee ? callee->begin == target : target <= calleeRva;
    }
    return image.U8At(target, "code") == 0xFF && image.U8At(target + 1, "code") == 0x25;
  } catch (const PeFormatError&) {
    return false;
  }
}

// A value on the stack that may be the return address of the call that led
// to the frame at `calleePc`: into a module's code just after a call that
// could have led there, where its image is known; anywhere in a module
// where it is not.
bool LooksLikeReturnAddress(const std::vector<ModuleImage>& images, std::uint64_t value, std::uint64_t calleePc) {
  // The frame's own address, saved with its context, is no return address.
  const ModuleImage* entry = value == calleePc ? nullptr : ImageAt(images, value);
  if (entry == nullptr) return false;
  if (!entry->image) return true;
  const auto rva = static_cast<std::uint32_t>(value - entry->module->base);
  if (!entry->image->IsCode(rva)) return false;
  const CallBefore call = FindCallBefore(*entry->image, rva);
  if (!call.found) return false;
  return !call.target || CallCouldReach(*entry->image, *call.target, ImageAt(images, calleePc), *entry, calleePc);
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
      if (value && LooksLikeReturnAddress(images_, *value, registers.rip)) {
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
