#pragma once

#include <windows.h>

namespace qvn {

// Writes "<what> (Windows error <code>)\n" to the launcher's standard error,
// for writers that must not raise. Never raises; a missing or broken
// standard error is ignored, since nothing is left to tell.
void WriteFailureToStandardError(const char* what, DWORD code) noexcept;

}  // namespace qvn
