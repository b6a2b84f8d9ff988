#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/little_endian_field.h"

// The payload's contract as the launcher enforces it and the packer writes
// it: every constant is spelled here once, for both of them.
namespace qvn {

// A name the launcher uses as a wide path and the name rules compare as
// bytes, spelled once and held both ways.
template <std::size_t N>
class AsciiName {
 public:
  // Implicit, so that a constant reads `kName = "text"`.
  consteval AsciiName(const char (&text)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
      narrow_[i] = text[i];
      wide_[i] = static_cast<wchar_t>(text[i]);
    }
  }
  constexpr std::string_view narrow() const { return {narrow_, N - 1}; }
  constexpr std::wstring_view wide() const { return {wide_, N - 1}; }

 private:
  char narrow_[N]{};
  wchar_t wide_[N]{};
};

// The container: magic, then a 32-bit file count, then the records.
inline constexpr std::string_view kPayloadMagic = "QVNPORT1";
inline constexpr LeField<std::uint32_t> kContainerFileCount{kPayloadMagic.size()};
inline constexpr std::size_t kContainerHeaderSize = kContainerFileCount.End();
// A record: the three sizes, the SHA-256 of the expanded file, then the
// stored name (no terminator) and the stored data.
inline constexpr LeField<std::uint32_t> kRecordNameLength{0};
inline constexpr LeField<std::uint32_t> kRecordExpandedSize{4};
inline constexpr LeField<std::uint32_t> kRecordStoredSize{8};
inline constexpr std::size_t kRecordDigestOffset = kRecordStoredSize.End();
inline constexpr std::size_t kDigestSize = 32;
inline constexpr std::size_t kRecordHeadSize = kRecordDigestOffset + kDigestSize;  // where the name starts
inline constexpr std::uint32_t kMaxFileCount = 512;
inline constexpr std::uint64_t kMaxExpandedFileSize = 0x8000000;     // one file, expanded
inline constexpr std::uint64_t kMaxPayloadSize = 0x20000000;         // the resource, and one stored stream
inline constexpr std::uint64_t kMaxExpandedTotal = kMaxPayloadSize;  // all files, expanded

// Stored names.
inline constexpr std::size_t kMaxNameBytes = 200;
inline constexpr int kMaxPathComponents = 8;
inline constexpr AsciiName kMainExecutableName = "Quorvane.exe";

// The launcher's image: RT_RCDATA, language neutral.
inline constexpr std::uint16_t kPayloadResourceId = 101;
inline constexpr std::uint16_t kPayloadDigestResourceId = 102;
// One byte, kProgressWindowNever, in a launcher that must never show its
// unpacking window; a launcher without it may.
inline constexpr std::uint16_t kProgressWindowResourceId = 103;
inline constexpr std::uint8_t kProgressWindowNever = 0;
// One byte, kCrashCaptureAlways, in a launcher that runs the game in crash
// capture mode at every start, as QVN_CRASH_CAPTURE=1 does for any launcher.
inline constexpr std::uint16_t kCrashCaptureResourceId = 104;
inline constexpr std::uint8_t kCrashCaptureAlways = 1;
// The icon the packer gives the launcher (RT_GROUP_ICON), which its window
// shows too.
inline constexpr std::uint16_t kLauncherIconResourceId = 1;

// The portable state beside the launcher. A stored name may not be
// kReservedStateFileName or lie below kDataFolderName, which the launcher's own
// state occupies.
inline constexpr AsciiName kDataFolderName = "data";
inline constexpr AsciiName kReservedStateFileName = "portable.txt";
inline constexpr AsciiName kRuntimeFolderName = "portable-runtime";  // in data
inline constexpr AsciiName kRuntimeTempFolderName = "temp";          // in the runtime folder
inline constexpr AsciiName kLockFileName = "portable.lock";          // in data
inline constexpr AsciiName kGameLogName = "game.log";                // in data

// The codes with which the decompressor fails, as the Windows Compression
// API's do (winerror.h of older SDKs lacks the first).
inline constexpr std::uint32_t kErrorBadCompressionBuffer = 605;  // ERROR_BAD_COMPRESSION_BUFFER: damaged data
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER: expands past the capacity

}  // namespace qvn
