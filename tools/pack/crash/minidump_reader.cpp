#include "tools/pack/crash/minidump_reader.h"

#include <map>

#include "base/little_endian_view.h"
#include "base/utf16_text.h"
#include "tools/pack/crash/minidump_format.h"

namespace qvn::pack {
namespace {

namespace md = minidump;

class DumpTruncated : public DumpError {
 public:
  explicit DumpTruncated(const std::string& text) : DumpError(DumpFault::kTruncated, text) {}
};

using DumpView = LittleEndianView<DumpTruncated>;

struct Location {
  std::uint32_t size = 0;
  std::uint32_t offset = 0;
};

Location ReadLocation(const DumpView& file, std::uint64_t at, const char* what) {
  return {file.U32(at, what), file.U32(at + 4, what)};
}

// A record of `count` entries of `entrySize` bytes after a header of
// `headerSize` bytes must fit in its stream.
void RequireEntriesFit(const Location& stream, std::uint64_t headerSize, std::uint64_t count, std::uint64_t entrySize,
                       const char* what) {
  if (headerSize + count * entrySize > stream.size) {
    throw DumpError(DumpFault::kBadRecord, std::string(what) + ": " + std::to_string(count) +
                                               " entries do not fit in its " + std::to_string(stream.size) + " bytes");
  }
}

std::string ReadString(const DumpView& file, std::uint32_t offset, const char* what) {
  const std::uint32_t length = file.U32(offset, what);
  if (length > md::kMaxStringBytes || length % 2 != 0) {
    throw DumpError(DumpFault::kBadRecord, std::string(what) + ": a name of " + std::to_string(length) + " bytes");
  }
  const std::span<const std::uint8_t> bytes = file.Slice(std::uint64_t{offset} + 4, length, what);
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  try {
    return Utf16ToUtf8(text);
  } catch (const TextEncodingError&) {
    throw DumpError(DumpFault::kBadRecord, std::string(what) + ": a name that is not valid UTF-16");
  }
}

std::optional<X64Registers> ReadContext(const DumpView& file, const Location& location, const char* what) {
  if (location.size == 0) return std::nullopt;
  if (location.size < md::kContextSize) {
    throw DumpError(DumpFault::kBadRecord,
                    std::string(what) + ": a context of " + std::to_string(location.size) + " bytes, not an x64 one");
  }
  X64Registers registers;
  for (std::size_t i = 0; i < registers.gpr.size(); ++i) {
    registers.gpr[i] = file.U64(location.offset + md::kContextRax + 8 * i, what);
  }
  registers.rip = file.U64(location.offset + md::kContextRip, what);
  return registers;
}

DumpMemory ReadMemoryDescriptor(const DumpView& file, std::uint64_t at, const char* what) {
  const std::uint64_t start = file.U64(at, what);
  const Location location = ReadLocation(file, at + 8, what);
  return {start, file.Slice(location.offset, location.size, what)};
}

std::optional<FourPartVersion> ReadVersion(const DumpView& file, std::uint64_t info, std::uint64_t ms,
                                           std::uint64_t ls) {
  if (file.U32(info, "module version") != md::kFixedFileInfoSignature) return std::nullopt;
  const std::uint32_t high = file.U32(info + ms, "module version");
  const std::uint32_t low = file.U32(info + ls, "module version");
  return FourPartVersion{static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
                         static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)};
}

void ReadThreads(const DumpView& file, const Location& stream, Minidump& dump) {
  const std::uint32_t count = file.U32(stream.offset, "thread list");
  RequireEntriesFit(stream, 4, count, md::kThreadSize, "thread list");
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t at = stream.offset + 4 + md::kThreadSize * i;
    DumpThread thread;
    thread.id = file.U32(at + md::kThreadId, "thread");
    thread.stack = ReadMemoryDescriptor(file, at + md::kThreadStack, "thread stack");
    thread.context = ReadContext(file, ReadLocation(file, at + md::kThreadContext, "thread"), "thread context");
    dump.threads.push_back(thread);
  }
}

void ReadModules(const DumpView& file, const Location& stream, Minidump& dump) {
  const std::uint32_t count = file.U32(stream.offset, "module list");
  RequireEntriesFit(stream, 4, count, md::kModuleSize, "module list");
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t at = stream.offset + 4 + md::kModuleSize * i;
    DumpModule module;
    module.base = file.U64(at + md::kModuleBase, "module");
    module.sizeOfImage = file.U32(at + md::kModuleSizeOfImage, "module");
    module.timeDateStamp = file.U32(at + md::kModuleTimeDateStamp, "module");
    module.path = ReadString(file, file.U32(at + md::kModuleNameRva, "module"), "module name");
    const std::uint64_t info = at + md::kModuleVersionInfo;
    module.fileVersion = ReadVersion(file, info, md::kFixedFileVersionMs, md::kFixedFileVersionLs);
    module.productVersion = ReadVersion(file, info, md::kFixedProductVersionMs, md::kFixedProductVersionLs);
    dump.modules.push_back(std::move(module));
  }
}

void ReadMemoryList(const DumpView& file, const Location& stream, Minidump& dump) {
  const std::uint32_t count = file.U32(stream.offset, "memory list");
  RequireEntriesFit(stream, 4, count, md::kMemoryDescriptorSize, "memory list");
  for (std::uint32_t i = 0; i < count; ++i) {
    dump.memory.push_back(ReadMemoryDescriptor(file, stream.offset + 4 + md::kMemoryDescriptorSize * i, "memory"));
  }
}

void ReadException(const DumpView& file, const Location& stream, Minidump& dump) {
  RequireEntriesFit(stream, md::kExceptionStreamSize, 0, 0, "exception");
  const std::uint64_t at = stream.offset;
  DumpException exception;
  exception.threadId = file.U32(at + md::kExceptionThreadId, "exception");
  exception.code = file.U32(at + md::kExceptionCode, "exception");
  exception.flags = file.U32(at + md::kExceptionFlags, "exception");
  exception.address = file.U64(at + md::kExceptionAddress, "exception");
  const std::uint32_t parameterCount = file.U32(at + md::kExceptionParameterCount, "exception");
  if (parameterCount > md::kMaxExceptionParameters) {
    throw DumpError(DumpFault::kBadRecord, "exception: " + std::to_string(parameterCount) + " parameters");
  }
  for (std::uint32_t i = 0; i < parameterCount; ++i) {
    exception.parameters.push_back(file.U64(at + md::kExceptionParameters + 8 * i, "exception"));
  }
  exception.context =
      ReadContext(file, ReadLocation(file, at + md::kExceptionContext, "exception"), "exception context");
  dump.exception = std::move(exception);
}

void ReadSystem(const DumpView& file, const Location& stream, Minidump& dump) {
  RequireEntriesFit(stream, md::kSystemInfoSize, 0, 0, "system information");
  const std::uint64_t at = stream.offset;
  DumpSystem system;
  system.architecture = file.U16(at + md::kSystemProcessorArchitecture, "system information");
  system.processorCount = file.U8(at + md::kSystemProcessorCount, "system information");
  system.majorVersion = file.U32(at + md::kSystemMajorVersion, "system information");
  system.minorVersion = file.U32(at + md::kSystemMinorVersion, "system information");
  system.buildNumber = file.U32(at + md::kSystemBuildNumber, "system information");
  if (system.architecture != md::kProcessorArchitectureAmd64) {
    throw DumpError(DumpFault::kNotX64,
                    "the dump is of a processor of architecture " + std::to_string(system.architecture) + ", not x64");
  }
  dump.system = system;
}

void ReadUnloaded(const DumpView& file, const Location& stream, Minidump& dump) {
  const std::uint32_t headerSize = file.U32(stream.offset + md::kUnloadedListHeaderSize, "unloaded modules");
  const std::uint32_t entrySize = file.U32(stream.offset + md::kUnloadedListEntrySize, "unloaded modules");
  const std::uint32_t count = file.U32(stream.offset + md::kUnloadedListCount, "unloaded modules");
  if (entrySize < md::kUnloadedModuleSize) {
    throw DumpError(DumpFault::kBadRecord, "unloaded modules: entries of " + std::to_string(entrySize) + " bytes");
  }
  RequireEntriesFit(stream, headerSize, count, entrySize, "unloaded modules");
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t at = stream.offset + headerSize + std::uint64_t{entrySize} * i;
    dump.unloaded.push_back(
        {file.U64(at, "unloaded module"), file.U32(at + 8, "unloaded module"),
         ReadString(file, file.U32(at + md::kUnloadedModuleNameRva, "unloaded module"), "unloaded module name")});
  }
}

void ReadMiscInfo(const DumpView& file, const Location& stream, Minidump& dump) {
  RequireEntriesFit(stream, md::kMiscInfoProcessId + 4, 0, 0, "misc information");
  if ((file.U32(stream.offset + md::kMiscInfoFlags, "misc information") & md::kMiscProcessIdValid) != 0) {
    dump.processId = file.U32(stream.offset + md::kMiscInfoProcessId, "misc information");
  }
}

}  // namespace

std::string DumpModule::FileName() const {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const DumpModule* Minidump::ModuleAt(std::uint64_t address) const {
  for (const DumpModule& module : modules) {
    if (module.Holds(address)) return &module;
  }
  return nullptr;
}

const DumpThread* Minidump::Thread(std::uint32_t id) const {
  for (const DumpThread& thread : threads) {
    if (thread.id == id) return &thread;
  }
  return nullptr;
}

std::optional<std::uint64_t> Minidump::ReadU64(std::uint64_t address) const {
  const auto from = [address](const DumpMemory& range) -> std::optional<std::uint64_t> {
    if (address < range.start || address - range.start > range.bytes.size() ||
        range.bytes.size() - (address - range.start) < 8) {
      return std::nullopt;
    }
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | range.bytes[address - range.start + static_cast<unsigned>(i)];
    return value;
  };
  for (const DumpThread& thread : threads) {
    if (auto value = from(thread.stack)) return value;
  }
  for (const DumpMemory& range : memory) {
    if (auto value = from(range)) return value;
  }
  return std::nullopt;
}

Minidump ReadMinidump(std::span<const std::uint8_t> bytes) {
  const DumpView file(bytes);
  if (!file.Holds(0, md::kHeaderSize) || file.U32(0, "header") != md::kSignature ||
      static_cast<std::uint16_t>(file.U32(md::kHeaderVersion, "header")) != md::kVersion) {
    throw DumpError(DumpFault::kNotAMinidump, "not a minidump (no MDMP header)");
  }
  Minidump dump;
  dump.flags = file.U64(md::kHeaderFlags, "header");
  const std::uint32_t streamCount = file.U32(md::kHeaderStreamCount, "header");
  const std::uint32_t directory = file.U32(md::kHeaderStreamDirectory, "header");
  file.Slice(directory, std::uint64_t{streamCount} * md::kDirectoryEntrySize, "stream directory");

  // The first stream of each type counts; the system information first,
  // since it says whether the contexts are x64 ones.
  std::map<std::uint32_t, Location> streams;
  for (std::uint32_t i = 0; i < streamCount; ++i) {
    const std::uint64_t at = directory + md::kDirectoryEntrySize * i;
    const Location location = ReadLocation(file, at + 4, "stream directory");
    file.Slice(location.offset, location.size, "stream");
    streams.emplace(file.U32(at, "stream directory"), location);
  }
  using Reader = void (*)(const DumpView&, const Location&, Minidump&);
  const std::pair<std::uint32_t, Reader> readers[] = {
      {md::kSystemInfoStream, ReadSystem},   {md::kThreadListStream, ReadThreads},
      {md::kModuleListStream, ReadModules},  {md::kMemoryListStream, ReadMemoryList},
      {md::kExceptionStream, ReadException}, {md::kUnloadedModuleListStream, ReadUnloaded},
      {md::kMiscInfoStream, ReadMiscInfo},
  };
  for (const auto& [type, reader] : readers) {
    if (auto stream = streams.find(type); stream != streams.end()) reader(file, stream->second, dump);
  }
  return dump;
}

}  // namespace qvn::pack
