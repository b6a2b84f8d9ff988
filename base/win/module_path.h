#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace qvn {

// Full path of the running launcher executable, asked afresh on every call.
std::wstring GetLauncherPath();

// The same, over any GetModuleFileNameW-shaped query (buffer, size) -> result,
// so the buffer growth can be exercised without deep folders.
std::wstring GetLauncherPathUsing(const std::function<DWORD(wchar_t* buffer, DWORD size)>& query);

}  // namespace qvn
