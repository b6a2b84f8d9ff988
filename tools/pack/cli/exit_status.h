#pragma once

namespace qvn::pack {

// Exit statuses of qvn_pack.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitRefused = 1;  // the input is refused or damaged, or cannot be read or written
inline constexpr int kExitUsage = 2;    // the command line is wrong

}  // namespace qvn::pack
