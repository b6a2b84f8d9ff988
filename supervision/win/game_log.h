#pragma once

#include <windows.h>

#include <cstdint>

namespace qvn {

// The launcher and the game write game.log through one file object and so
// share its position: every append of the launcher moves to the end first.

// Appends whole lines of the launcher's own. Never raises: a failed step ends
// it with one line on standard error, and the run goes on.
void AppendToGameLog(HANDLE logFile, const char* bytes, DWORD length) noexcept;

// Appends the exit record "\nQVN_PORTABLE_EXIT status=0x%08lX\n". Unlike
// AppendToGameLog every failure is raised, since a lost status must not pass
// as a recorded one.
void AppendExitRecord(HANDLE logFile, std::uint32_t status);

}  // namespace qvn
