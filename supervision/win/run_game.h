#pragma once

#include <cstdint>
#include <string>

namespace qvn {

// Starts Quorvane.exe from the runtime directory inside a kill-on-close job,
// with the portable environment, the launcher's arguments and game.log as its
// output, supervises it to its end, records its exit in the log and returns
// its 32-bit exit status.
std::uint32_t RunGame(const std::wstring& runtimeDirectory, const std::wstring& dataDirectory);

}  // namespace qvn
