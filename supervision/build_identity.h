#pragma once

#include <string_view>

namespace qvn {

// The three texts that name this build in every crash report.
//   version: the project's dotted version number (CMake's project version).
//   main:    the git commit the build was made from, 40 lower-case hex digits.
//   source:  SHA-256 over the tracked source files as they were built, 64
//            upper-case hex digits, so that a build from a commit with local
//            changes is told apart from a clean one.
// A build outside a git checkout prints all zeros for main and source.
struct BuildIdentity {
  std::string_view version;
  std::string_view main;
  std::string_view source;
};

BuildIdentity GetBuildIdentity();

}  // namespace qvn
