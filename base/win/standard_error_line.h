#pragma once

#include <windows.h>

#include <string_view>

namespace qvn {

// Writes the bytes to the process's standard error, if it has a usable one.
// Returns false when it has none or the write fails. Never raises.
bool WriteToStandardError(std::string_view bytes) noexcept;

// Writes "<what> (Windows error <code>)\n" to the launcher's standard error,
// for writers that must not raise. Never raises; a missing or broken
// standard error is ignored, since nothing is left to tell.
void WriteFailureToStandardError(const char* what, DWORD code) noexcept;

}  // namespace qvn
