#pragma once

#include <cstdint>

// The numbers of the minidump format that crash analysis reads, from
// Microsoft's minidumpapiset.h documentation, and of the x64 CONTEXT record
// that the dump stores for each thread. A field's constant is its offset in
// bytes from the start of the record it belongs to.
namespace qvn::pack::minidump {

// MINIDUMP_HEADER, then NumberOfStreams MINIDUMP_DIRECTORY entries.
inline constexpr std::uint32_t kSignature = 0x504D444D;  // "MDMP"
inline constexpr std::uint16_t kVersion = 0xA793;        // low word of Version
inline constexpr std::uint64_t kHeaderSize = 32;
inline constexpr std::uint64_t kHeaderVersion = 4;
inline constexpr std::uint64_t kHeaderStreamCount = 8;
inline constexpr std::uint64_t kHeaderStreamDirectory = 12;
inline constexpr std::uint64_t kHeaderFlags = 24;
inline constexpr std::uint64_t kDirectoryEntrySize = 12;  // type, then a location

// MINIDUMP_LOCATION_DESCRIPTOR: DataSize, then Rva (a file offset).
inline constexpr std::uint64_t kLocationSize = 8;
// MINIDUMP_MEMORY_DESCRIPTOR: StartOfMemoryRange, then a location.
inline constexpr std::uint64_t kMemoryDescriptorSize = 16;

// Stream types.
inline constexpr std::uint32_t kThreadListStream = 3;
inline constexpr std::uint32_t kModuleListStream = 4;
inline constexpr std::uint32_t kMemoryListStream = 5;
inline constexpr std::uint32_t kExceptionStream = 6;
inline constexpr std::uint32_t kSystemInfoStream = 7;
inline constexpr std::uint32_t kUnloadedModuleListStream = 14;
inline constexpr std::uint32_t kMiscInfoStream = 15;

// MINIDUMP_THREAD, after the list's 32-bit count.
inline constexpr std::uint64_t kThreadSize = 48;
inline constexpr std::uint64_t kThreadId = 0;
inline constexpr std::uint64_t kThreadTeb = 16;
inline constexpr std::uint64_t kThreadStack = 24;    // memory descriptor
inline constexpr std::uint64_t kThreadContext = 40;  // location

// MINIDUMP_MODULE, after the list's 32-bit count; 108 bytes, packed.
inline constexpr std::uint64_t kModuleSize = 108;
inline constexpr std::uint64_t kModuleBase = 0;
inline constexpr std::uint64_t kModuleSizeOfImage = 8;
inline constexpr std::uint64_t kModuleCheckSum = 12;
inline constexpr std::uint64_t kModuleTimeDateStamp = 16;
inline constexpr std::uint64_t kModuleNameRva = 20;  // a MINIDUMP_STRING
inline constexpr std::uint64_t kModuleVersionInfo = 24;

// VS_FIXEDFILEINFO, inside each module record.
inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr std::uint64_t kFixedFileVersionMs = 8;
inline constexpr std::uint64_t kFixedFileVersionLs = 12;
inline constexpr std::uint64_t kFixedProductVersionMs = 16;
inline constexpr std::uint64_t kFixedProductVersionLs = 20;

// MINIDUMP_STRING: a 32-bit length in bytes, then UTF-16LE text.
inline constexpr std::uint32_t kMaxStringBytes = 65534;

// MINIDUMP_EXCEPTION_STREAM: thread id, alignment, MINIDUMP_EXCEPTION,
// then the thread's context location.
inline constexpr std::uint64_t kExceptionStreamSize = 168;
inline constexpr std::uint64_t kExceptionThreadId = 0;
inline constexpr std::uint64_t kExceptionCode = 8;
inline constexpr std::uint64_t kExceptionFlags = 12;
inline constexpr std::uint64_t kExceptionAddress = 24;
inline constexpr std::uint64_t kExceptionParameterCount = 32;
inline constexpr std::uint64_t kExceptionParameters = 40;  // 15 64-bit values
inline constexpr std::uint32_t kMaxExceptionParameters = 15;
inline constexpr std::uint64_t kExceptionContext = 160;

// MINIDUMP_SYSTEM_INFO.
inline constexpr std::uint64_t kSystemInfoSize = 56;
inline constexpr std::uint64_t kSystemProcessorArchitecture = 0;
inline constexpr std::uint64_t kSystemProcessorCount = 6;  // 8 bits
inline constexpr std::uint64_t kSystemMajorVersion = 8;
inline constexpr std::uint64_t kSystemMinorVersion = 12;
inline constexpr std::uint64_t kSystemBuildNumber = 16;
inline constexpr std::uint16_t kProcessorArchitectureAmd64 = 9;

// MINIDUMP_UNLOADED_MODULE_LIST: header and entry sizes, then a count.
inline constexpr std::uint64_t kUnloadedListHeaderSize = 0;
inline constexpr std::uint64_t kUnloadedListEntrySize = 4;
inline constexpr std::uint64_t kUnloadedListCount = 8;
inline constexpr std::uint64_t kUnloadedModuleSize = 24;
inline constexpr std::uint64_t kUnloadedModuleNameRva = 20;

// MINIDUMP_MISC_INFO: its size, Flags1, and the process id when flag 1 is set.
inline constexpr std::uint64_t kMiscInfoFlags = 4;
inline constexpr std::uint64_t kMiscInfoProcessId = 8;
inline constexpr std::uint32_t kMiscProcessIdValid = 0x1;

// x64 CONTEXT: 1232 bytes. The sixteen integer registers lie in a row, in
// the order the unwind codes number them (RAX 0, RCX 1, RDX 2, RBX 3,
// RSP 4, RBP 5, RSI 6, RDI 7, R8..R15 8..15), then RIP.
inline constexpr std::uint64_t kContextSize = 0x4D0;
inline constexpr std::uint64_t kContextRax = 0x78;
inline constexpr std::uint64_t kContextRip = 0xF8;

}  // namespace qvn::pack::minidump
