// The portable directories: only plain directories are accepted, and one
// that is held cannot be moved or deleted.
#include "runtime/portable_directory.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/failure_text.h"
#include "tests/support/scratch_directory.h"

namespace qvn {
namespace {

using testing::FailureOf;
using testing::Narrow;
using testing::ScratchDirectory;

TEST(OpenPortableDirectory, AcceptsOnlyPlainDirectories) {
  ScratchDirectory scratch;
  CreateDirectoryW((scratch / L"existing").c_str(), nullptr);
  testing::WriteFileText(scratch / L"existing\\keep.txt", "kept");
  testing::WriteFileText(scratch / L"file", "a file");
  struct Case {
    std::wstring name;
    bool create;
    std::string failure;
  };
  const Case cases[] = {
      {L"existing", true, "(no failure)"},
      {L"existing", false, "(no failure)"},
      {L"new", true, "(no failure)"},
      {L"file", true, "Portable data/runtime directories cannot be files, symlinks or junctions"},
      {L"file", false, "Portable data/runtime directories cannot be files, symlinks or junctions"},
      {L"missing", false, "Cannot open portable directory (Windows error 2)"},
      {L"missing-parent\\child", true,
       "Portable directory must be writable; cannot create directory (Windows error 3)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FailureOf([&] { OpenPortableDirectory(scratch / c.name, c.create); }), c.failure) << Narrow(c.name);
  }
  EXPECT_EQ(testing::ReadFileText(scratch / L"existing\\keep.txt"), "kept");
  EXPECT_EQ(testing::ReadFileText(scratch / L"file"), "a file");
  EXPECT_TRUE(testing::IsDirectory(scratch / L"new"));
}

TEST(OpenPortableDirectory, HeldDirectoryCannotBeMovedOrDeleted) {
  ScratchDirectory scratch;
  UniqueHandle held = OpenPortableDirectory(scratch / L"data", true);
  EXPECT_FALSE(MoveFileW((scratch / L"data").c_str(), (scratch / L"moved").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(RemoveDirectoryW((scratch / L"data").c_str()));
  held.reset();
  EXPECT_TRUE(MoveFileW((scratch / L"data").c_str(), (scratch / L"moved").c_str()));
}

}  // namespace
}  // namespace qvn
