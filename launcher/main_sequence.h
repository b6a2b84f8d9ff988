#pragma once

#include <cstdint>
#include <string>

#include "launcher/unpacking_window.h"

namespace qvn {

// The launcher's whole run: verify and parse the embedded payload, set up
// and lock `data`, clear a stale runtime, extract, run the game, remove the
// runtime and tell the user about a non-zero exit. Returns the process exit
// code: the game's status, or 1 after a failure, which has been reported.
// The unpacking window's thread runs `show`.
std::uint32_t RunLauncher(UnpackingWindowShow show = &ShowUnpackingWindow) noexcept;

// "Game exited with status 0x%08lX. Details are in:\n<log path>".
std::string ExitStatusMessage(std::uint32_t status, const std::wstring& gameLogPath);

}  // namespace qvn
