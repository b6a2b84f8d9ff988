#pragma once

#include <string>
#include <string_view>

namespace qvn {

// Path composition on wide Windows paths as the system returns them: no
// canonicalisation, no case folding, no link resolution. "\" and "/" are
// both separators; "\" is the one inserted.

// The path without its last element and the separators in front of it. The
// root (C:\, \\server\share, \) is never removed.
std::wstring ParentDirectory(std::wstring_view path);

// directory + "\" + name, without doubling a separator the directory ends in.
std::wstring JoinPath(std::wstring_view directory, std::wstring_view name);

}  // namespace qvn
