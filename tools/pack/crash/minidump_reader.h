#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/error.h"

namespace qvn::pack {

// Why a dump was refused. A dump comes from a player's machine: every
// offset, count and size in it is checked before it is followed.
enum class DumpFault {
  kNotAMinidump,  // no minidump signature or version
  kTruncated,     // a record lies past the end of the file
  kBadRecord,     // a record's own counts or sizes do not hold together
  kNotX64,        // a processor other than x64
};

class DumpError : public Error {
 public:
  DumpError(DumpFault kind, const std::string& text) : Error(text), kind_(kind) {}
  DumpFault kind() const { return kind_; }

 private:
  DumpFault kind_;
};

// The integer registers of an x64 thread, numbered as the unwind codes
// number them (RAX 0 ... RSP 4, RBP 5 ... R15 15), and its instruction
// pointer.
struct X64Registers {
  std::array<std::uint64_t, 16> gpr{};
  std::uint64_t rip = 0;

  static constexpr int kRsp = 4;
  std::uint64_t rsp() const { return gpr[kRsp]; }
};

struct DumpMemory {
  std::uint64_t start = 0;
  std::span<const std::uint8_t> bytes;
};

struct DumpThread {
  std::uint32_t id = 0;
  DumpMemory stack;
  std::optional<X64Registers> context;
};

// Four 16-bit parts, most significant first, as Windows shows a version.
using FourPartVersion = std::array<std::uint16_t, 4>;

struct DumpModule {
  std::uint64_t base = 0;
  std::uint32_t sizeOfImage = 0;
  std::uint32_t timeDateStamp = 0;
  std::string path;  // UTF-8, as the player's system named it
  std::optional<FourPartVersion> fileVersion;
  std::optional<FourPartVersion> productVersion;

  // The last part of the path, after a backslash or slash.
  std::string FileName() const;
  bool Holds(std::uint64_t address) const { return address >= base && address - base < sizeOfImage; }
};

struct DumpException {
  std::uint32_t threadId = 0;
  std::uint32_t code = 0;
  std::uint32_t flags = 0;
  std::uint64_t address = 0;
  std::vector<std::uint64_t> parameters;
  std::optional<X64Registers> context;
};

struct DumpSystem {
  std::uint16_t architecture = 0;
  std::uint8_t processorCount = 0;
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint32_t buildNumber = 0;
};

struct UnloadedModule {
  std::uint64_t base = 0;
  std::uint32_t sizeOfImage = 0;
  std::string path;
};

// What crash analysis reads from a minidump: the streams that the
// launcher's dump type holds. Memory views point into the file's bytes.
struct Minidump {
  std::uint64_t flags = 0;  // the MINIDUMP_TYPE it was written with
  std::optional<DumpSystem> system;
  std::vector<DumpThread> threads;
  std::vector<DumpModule> modules;
  std::vector<DumpMemory> memory;  // the memory list, besides the stacks
  std::optional<DumpException> exception;
  std::vector<UnloadedModule> unloaded;
  std::optional<std::uint32_t> processId;

  const DumpModule* ModuleAt(std::uint64_t address) const;
  const DumpThread* Thread(std::uint32_t id) const;
  // Eight bytes of the process's memory, from a thread's stack or the
  // memory list; none where the dump holds no such bytes.
  std::optional<std::uint64_t> ReadU64(std::uint64_t address) const;
};

// Raises DumpError for anything that is no well-formed x64 minidump.
Minidump ReadMinidump(std::span<const std::uint8_t> file);

}  // namespace qvn::pack
