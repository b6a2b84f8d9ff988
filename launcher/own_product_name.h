#pragma once

#include <string>

namespace qvn {

// ProductName from the launcher's own version information, as Explorer
// shows it, read through version.dll loaded at run time; "Quorvane", the
// packer's default, when the launcher has none.
std::wstring OwnProductName();

}  // namespace qvn
