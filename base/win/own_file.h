#pragma once

#include <windows.h>

#include <optional>

namespace qvn {

// Flags that open a link as itself, never what it points to.
inline constexpr DWORD kOpenWithoutFollowingLinks = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

// Whether an open file is one plain file that no other name reaches: not a
// directory, not a reparse point, no second hard link. Writing to such a
// file cannot land in some other file. nullopt, with the thread's last
// error set, when the file cannot be examined.
std::optional<bool> IsOwnFile(HANDLE file);

}  // namespace qvn
