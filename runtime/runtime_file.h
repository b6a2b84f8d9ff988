#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qvn {

// Creates one runtime file that must not exist yet (CREATE_NEW, no sharing,
// never through a link) and writes `contents` to it in one call. Raises
// "Cannot create portable runtime file" or "Cannot write portable runtime
// file" with the Windows error code, or "Short portable runtime write".
void WriteRuntimeFile(const std::wstring& path, std::span<const std::uint8_t> contents);

}  // namespace qvn
