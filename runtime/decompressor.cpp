#include "runtime/decompressor.h"

#include <windows.h>

#include <new>

#include "compression/buffer_format.h"
#include "base/error.h"

namespace qvn {
namespace {

// winerror.h of older SDKs lacks it.
constexpr DWORD kBadCompressionBuffer = 605;  // ERROR_BAD_COMPRESSION_BUFFER

}  // namespace

bool Decompressor::Decompress(const void* compressed, std::size_t compressedSize, void* output, std::size_t capacity,
                              std::size_t* produced) {
  if (produced == nullptr || (compressed == nullptr && compressedSize != 0) ||
      (output == nullptr && capacity != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const compression::DecodeResult result =
      compression::DecodeBuffer({static_cast<const std::uint8_t*>(compressed), compressedSize},
                                {static_cast<std::uint8_t*>(output), capacity}, tables_);
  switch (result.status) {
    case compression::DecodeStatus::kOk:
      *produced = static_cast<std::size_t>(result.produced);
      return true;
    case compression::DecodeStatus::kBufferTooSmall:
      *produced = static_cast<std::size_t>(result.required);
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return false;
    case compression::DecodeStatus::kBadData:
      break;
  }
  *produced = 0;
  SetLastError(kBadCompressionBuffer);
  return false;
}

std::unique_ptr<Decompressor> CreateDecompressor() {
  try {
    return std::make_unique<Decompressor>();
  } catch (const std::bad_alloc&) {
    throw Error("Cannot create Windows decompressor", ERROR_NOT_ENOUGH_MEMORY);
  }
}

}  // namespace qvn
