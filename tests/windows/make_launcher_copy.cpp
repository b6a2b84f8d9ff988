// Makes a launcher from a payload and its digest written by a packer: a copy
// of the launcher built without them, with the two files as resources 101
// and 102. For scripted tests of packers that cannot write a launcher yet.
// Usage: qvn_make_launcher_copy LAUNCHER PAYLOAD DIGEST
#include <cstdio>
#include <exception>

#include "tests/support/launcher_copy.h"
#include "tests/support/scratch_directory.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fwprintf(stderr, L"usage: qvn_make_launcher_copy LAUNCHER PAYLOAD DIGEST\n");
    return 2;
  }
  try {
    using qvn::testing::ReadFileBytes;
    qvn::testing::MakeLauncherCopy(argv[1], {ReadFileBytes(argv[2]), ReadFileBytes(argv[3])});
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qvn_make_launcher_copy: %s\n", error.what());
    return 1;
  }
  return 0;
}
