#pragma once

namespace qvn::pack {

// Exit statuses of qvn_pack.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitRefused = 1;  // the input is refused or damaged, or cannot be read or written
inline constexpr int kExitUsage = 2;    // the command line is wrong

// What every --help says of them.
inline constexpr char kExitStatusHelp[] =
    "Exit status: 0 success; 1 a refusal or a failed check (the reason is printed, nothing is written); 2 a usage "
    "error (a wrong command line).";

}  // namespace qvn::pack
