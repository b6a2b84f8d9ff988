#include "runtime/decompressor.h"

#include <windows.h>

#include <new>
#include <system_error>
#include <utility>

#include "base/error.h"

namespace qvn {

bool Decompressor::Decompress(const void* compressed, std::size_t compressedSize, void* output, std::size_t capacity,
                              std::size_t* produced) {
  if (produced == nullptr || (compressed == nullptr && compressedSize != 0) || (output == nullptr && capacity != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const std::uint32_t code = decoder_.Decode({static_cast<const std::uint8_t*>(compressed), compressedSize},
                                             {static_cast<std::uint8_t*>(output), capacity}, *produced);
  if (code != 0) {
    SetLastError(code);
    return false;
  }
  return true;
}

std::uint32_t Decompressor::Decode(std::span<const std::uint8_t> stored, std::span<std::uint8_t> expanded,
                                   std::size_t& produced) {
  return decoder_.Decode(stored, expanded, produced);
}

std::unique_ptr<Decompressor> CreateDecompressor() {
  std::unique_ptr<compression::ChunkDecodeThread> secondThread;
  try {
    secondThread = std::make_unique<compression::ChunkDecodeThread>();
  } catch (const std::system_error&) {
  } catch (const std::bad_alloc&) {
  }
  try {
    return std::unique_ptr<Decompressor>(new Decompressor(std::move(secondThread)));
  } catch (const std::bad_alloc&) {
    throw Error("Cannot create Windows decompressor", ERROR_NOT_ENOUGH_MEMORY);
  }
}

}  // namespace qvn
