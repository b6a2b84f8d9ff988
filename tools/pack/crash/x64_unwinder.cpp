#include "tools/pack/crash/x64_unwinder.h"

#include <span>
#include <string>

#include "tools/pack/image/pe_function_table.h"

namespace qvn::pack {
namespace {

// UNWIND_INFO: version and flags, prolog size, code count, frame register
// and its scaled offset; then two-byte unwind codes, padded to an even
// count; then, for a chained entry, the parent's RUNTIME_FUNCTION.
constexpr std::uint8_t kChainInfoFlag = 0x4;
constexpr int kMaxChainDepth = 32;

enum UnwindOp : std::uint8_t {
  kPushNonvolatile = 0,
  kAllocLarge = 1,
  kAllocSmall = 2,
  kSetFramePointer = 3,
  kSaveNonvolatile = 4,
  kSaveNonvolatileFar = 5,
  kEpilog = 6,  // version 2: epilog locations, nothing to undo in a body
  kSpare = 7,
  kSaveXmm128 = 8,
  kSaveXmm128Far = 9,
  kPushMachineFrame = 10,
};

int SlotCount(std::uint8_t op, std::uint8_t info) {
  switch (op) {
    case kAllocLarge:
      return info == 0 ? 2 : 3;
    case kSaveNonvolatile:
    case kEpilog:
    case kSaveXmm128:
      return 2;
    case kSaveNonvolatileFar:
    case kSpare:
    case kSaveXmm128Far:
      return 3;
    default:
      return 1;
  }
}

class FrameUnwinder {
 public:
  FrameUnwinder(const PeImageFile& image, const ProcessMemory& memory, X64Registers registers)
      : image_(image), memory_(memory), registers_(registers) {}

  // Undoes one UNWIND_INFO's codes that have run by `prologOffset`, and sets
  // `chained` to the RVA of the parent's unwind information for a chained
  // entry, or 0. False when the memory a step needs is not in the dump.
  bool Apply(std::uint32_t info, std::uint32_t prologOffset, std::uint32_t& chained) {
    const std::span<const std::uint8_t> header = image_.BytesAt(info, 4, "unwind information");
    const std::uint8_t flags = static_cast<std::uint8_t>(header[0] >> 3);
    const std::uint8_t codeCount = header[2];
    const std::uint8_t frameRegister = header[3] & 0x0F;
    const std::uint64_t frameOffset = std::uint64_t{static_cast<std::uint8_t>(header[3] >> 4)} * 16;
    const std::span<const std::uint8_t> codes = image_.BytesAt(info + 4, 2u * codeCount, "unwind codes");

    // Saved registers lie at offsets from the frame's base: the frame
    // register less its offset once the prolog has set it, else RSP.
    std::uint64_t frame = registers_.rsp();
    for (std::size_t i = 0; i < codeCount;) {
      const std::uint8_t op = codes[2 * i + 1] & 0x0F;
      if (op == kSetFramePointer && codes[2 * i] <= prologOffset && frameRegister != 0) {
        frame = registers_.gpr[frameRegister] - frameOffset;
      }
      i += static_cast<std::size_t>(SlotCount(op, static_cast<std::uint8_t>(codes[2 * i + 1] >> 4)));
    }

    for (std::size_t i = 0; i < codeCount;) {
      const std::uint8_t codeOffset = codes[2 * i];
      const std::uint8_t op = codes[2 * i + 1] & 0x0F;
      const std::uint8_t opInfo = static_cast<std::uint8_t>(codes[2 * i + 1] >> 4);
      const std::size_t slots = static_cast<std::size_t>(SlotCount(op, opInfo));
      if (i + slots > codeCount) throw PeFormatError("unwind code runs past its count");
      const auto slot = [&](std::size_t n) {
        return static_cast<std::uint32_t>(codes[2 * (i + n)] | (codes[2 * (i + n) + 1] << 8));
      };
      if (codeOffset <= prologOffset && !Undo(op, opInfo, slot, frame, frameRegister)) return false;
      i += slots;
    }
    chained = 0;
    if ((flags & kChainInfoFlag) != 0) {
      const std::uint32_t parent = info + 4 + 2u * ((codeCount + 1u) & ~1u);
      chained = ReadRuntimeFunction(image_, parent).unwindInfo;
      if (chained == 0) throw PeFormatError("chained unwind entry without unwind information");
    }
    return true;
  }

  // The return address, popped unless a machine frame gave it already.
  bool Return() {
    if (machineFrame_) return true;
    const std::optional<std::uint64_t> address = memory_(registers_.rsp());
    if (!address) return false;
    registers_.rip = *address;
    registers_.gpr[X64Registers::kRsp] += 8;
    return true;
  }

  const X64Registers& registers() const { return registers_; }

 private:
  template <typename Slot>
  bool Undo(std::uint8_t op, std::uint8_t opInfo, const Slot& slot, std::uint64_t frame, std::uint8_t frameRegister) {
    std::uint64_t& rsp = registers_.gpr[X64Registers::kRsp];
    switch (op) {
      case kPushNonvolatile:
        return Load(registers_.gpr[opInfo], rsp) && (rsp += 8, true);
      case kAllocLarge:
        rsp += opInfo == 0 ? std::uint64_t{slot(1)} * 8 : (std::uint64_t{slot(1)} | std::uint64_t{slot(2)} << 16);
        return true;
      case kAllocSmall:
        rsp += std::uint64_t{opInfo} * 8 + 8;
        return true;
      case kSetFramePointer:
        if (frameRegister == 0) throw PeFormatError("frame pointer code without a frame register");
        rsp = frame;
        return true;
      case kSaveNonvolatile:
        return Load(registers_.gpr[opInfo], frame + std::uint64_t{slot(1)} * 8);
      case kSaveNonvolatileFar:
        return Load(registers_.gpr[opInfo], frame + (std::uint64_t{slot(1)} | std::uint64_t{slot(2)} << 16));
      case kEpilog:
      case kSpare:
      case kSaveXmm128:
      case kSaveXmm128Far:
        return true;  // nothing the walk needs: vector registers are not followed
      case kPushMachineFrame: {
        // An interrupt or exception frame: RIP, CS, EFLAGS, RSP, SS, after
        // an error code when opInfo is 1.
        const std::uint64_t base = rsp + 8 * std::uint64_t{opInfo};
        machineFrame_ = true;
        return Load(registers_.rip, base) && Load(rsp, base + 24);
      }
      default:
        throw PeFormatError("unknown unwind code " + std::to_string(op));
    }
  }

  bool Load(std::uint64_t& target, std::uint64_t address) {
    const std::optional<std::uint64_t> value = memory_(address);
    if (!value) return false;
    target = *value;
    return true;
  }

  const PeImageFile& image_;
  const ProcessMemory& memory_;
  X64Registers registers_;
  bool machineFrame_ = false;
};

}  // namespace

std::optional<X64Registers> UnwindOneFrame(const PeImageFile& image, std::uint64_t base, const X64Registers& callee,
                                           const ProcessMemory& memory) {
  FrameUnwinder unwinder(image, memory, callee);
  const auto rva = static_cast<std::uint32_t>(callee.rip - base);
  if (const std::optional<RuntimeFunction> function = FindRuntimeFunction(image, rva)) {
    // Within the function's own entry only the prolog's steps that have
    // run are undone; a parent entry's have all run.
    std::uint32_t info = function->unwindInfo;
    std::uint32_t prologOffset = rva - function->begin;
    for (int depth = 0; info != 0; ++depth) {
      if (depth == kMaxChainDepth) throw PeFormatError("unwind entries chained in a loop");
      std::uint32_t chained = 0;
      if (!unwinder.Apply(info, prologOffset, chained)) return std::nullopt;
      info = chained;
      prologOffset = UINT32_MAX;
    }
  }
  if (!unwinder.Return()) return std::nullopt;
  return unwinder.registers();
}

}  // namespace qvn::pack
