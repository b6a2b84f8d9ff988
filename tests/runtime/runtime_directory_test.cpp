// Extraction into and removal of the runtime directory, in process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.h"
#include "base/win/unique_handle.h"
#include "payload/payload_manifest.h"
#include "runtime/extract_runtime.h"
#include "runtime/remove_runtime_directory.h"
#include "tests/support/failure_text.h"
#include "tests/support/program_run.h"
#include "tests/support/scratch_directory.h"
#include "tests/support/test_payload.h"

namespace qvn {
namespace {

using testing::IsDirectory;
using testing::Narrow;
using testing::PathExists;
using testing::ScratchDirectory;
using testing::TestFile;
using testing::Text;
using Tree = std::vector<std::pair<std::string, std::string>>;

using testing::FailureOf;
// Records kept alive with the manifest that views into them.
struct ManifestFixture {
  std::vector<ContainerRecord> records;
  PayloadManifest manifest;

  explicit ManifestFixture(std::vector<ContainerRecord> fromRecords) : records(std::move(fromRecords)) {
    for (const ContainerRecord& record : records) {
      manifest.push_back(PayloadEntry{testing::Widen(record.name), record.expandedSize,
                                      std::span<const std::uint8_t, 32>(record.digest),
                                      std::span<const std::uint8_t>(record.storedData)});
    }
  }
};

ManifestFixture FilesManifest(const std::vector<TestFile>& files) {
  std::vector<ContainerRecord> records;
  records.reserve(files.size());
  for (const TestFile& file : files) records.push_back(testing::RecordFor(file));
  return ManifestFixture(std::move(records));
}

TEST(ExtractRuntime, WritesExactlyThePayloadFilesAndAnEmptyTemp) {
  ScratchDirectory scratch;
  std::vector<std::uint8_t> large(300000);
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<std::uint8_t>((i * 7919) >> 3);
  const ManifestFixture fixture = FilesManifest({
      {"Quorvane.exe", Text("MZ game")},
      {"assets/icons/x.svg", Text("<svg/>")},
      {"assets/readme.txt", Text("read me")},
      {"empty.dat", {}},
      {"temp/seed.txt", Text("inside temp")},
      {"big.bin", large},
  });
  const std::wstring runtime = scratch / L"portable-runtime";
  WorkProgress progress;
  ExtractRuntime(fixture.manifest, runtime, *CreateDecompressor(), progress);
  // Each file counts three times: decoded, hashed, written.
  EXPECT_EQ(progress.done(), 3u * (7 + 6 + 7 + 0 + 11 + large.size()));
  const Tree expected = {
      {"Quorvane.exe", "MZ game"},
      {"assets/", ""},
      {"assets/icons/", ""},
      {"assets/icons/x.svg", "<svg/>"},
      {"assets/readme.txt", "read me"},
      {"big.bin", std::string(large.begin(), large.end())},
      {"empty.dat", ""},
      {"temp/", ""},
      {"temp/seed.txt", "inside temp"},
  };
  EXPECT_EQ(testing::ListTree(runtime), expected);
}

// Every entry is expanded into the same buffer: it must take the largest,
// wherever that stands, and a file after a larger one must come out with
// its own bytes only, whatever the larger one left.
TEST(ExtractRuntime, FilesAfterALargerOneHoldOnlyTheirOwnBytes) {
  ScratchDirectory scratch;
  const std::vector<std::uint8_t> large(400000, 0xAB);
  std::vector<std::uint8_t> middle(70000);
  for (std::size_t i = 0; i < middle.size(); ++i) middle[i] = static_cast<std::uint8_t>(i * 31);
  const std::string middleText(middle.begin(), middle.end());
  const ManifestFixture fixture = FilesManifest({
      {"a.bin", middle},
      {"b.bin", large},
      {"c.txt", Text("small")},
      {"d.dat", {}},
      {"e.bin", middle},
  });
  const std::wstring runtime = scratch / L"portable-runtime";
  WorkProgress progress;
  ExtractRuntime(fixture.manifest, runtime, *CreateDecompressor(), progress);
  const Tree expected = {
      {"a.bin", middleText}, {"b.bin", std::string(large.begin(), large.end())},
      {"c.txt", "small"},    {"d.dat", ""},
      {"e.bin", middleText}, {"temp/", ""},
  };
  EXPECT_EQ(testing::ListTree(runtime), expected);
}

TEST(ExtractRuntime, RefusesDamagedEntriesBeforeCreatingTheirFiles) {
  const TestFile game{"Quorvane.exe", Text("MZ game")};
  const TestFile data{"assets/data.bin", Text(std::string(5000, 'q') + "tail")};
  struct Case {
    const char* name;
    void (*damage)(ContainerRecord&);
    std::string failure;
  };
  const Case cases[] = {
      {"one byte short", [](ContainerRecord& r) { r.expandedSize += 1; }, "Portable expanded file size mismatch"},
      {"flipped expanded byte", [](ContainerRecord& r) { r.digest[5] ^= 0x01; }, "Portable file SHA-256 mismatch"},
      {"damaged stream", [](ContainerRecord& r) { r.storedData[0] ^= 0xFF; },
       "Portable runtime decompression failed (Windows error 605)"},
      {"stream larger than the entry", [](ContainerRecord& r) { r.expandedSize -= 1; },
       "Portable runtime decompression failed (Windows error 122)"},
  };
  for (const Case& c : cases) {
    ScratchDirectory scratch;
    std::vector<ContainerRecord> records = {testing::RecordFor(game), testing::RecordFor(data)};
    c.damage(records[1]);
    const ManifestFixture fixture(std::move(records));
    const std::wstring runtime = scratch / L"portable-runtime";
    EXPECT_EQ(FailureOf([&] {
                WorkProgress progress;
                ExtractRuntime(fixture.manifest, runtime, *CreateDecompressor(), progress);
              }),
              c.failure)
        << c.name;
    EXPECT_TRUE(PathExists(runtime + L"\\Quorvane.exe")) << c.name;
    EXPECT_TRUE(IsDirectory(runtime + L"\\assets")) << c.name;
    EXPECT_FALSE(PathExists(runtime + L"\\assets\\data.bin")) << c.name;
  }
}

TEST(ExtractRuntime, NameClashesOnDiskFail) {
  struct Case {
    std::vector<TestFile> files;
    std::string failure;
  };
  const Case cases[] = {
      // temp exists before the first entry is written.
      {{{"temp", Text("x")}}, "Cannot create portable runtime file (Windows error 80)"},
      {{{"x", Text("file")}, {"x/y.txt", Text("y")}},
       "Portable data/runtime directories cannot be files, symlinks or junctions"},
      {{{"x/y.txt", Text("y")}, {"x", Text("file")}}, "Cannot create portable runtime file (Windows error 80)"},
      {{{"a.txt", Text("1")}, {"a.txt", Text("2")}}, "Cannot create portable runtime file (Windows error 80)"},
  };
  for (const Case& c : cases) {
    ScratchDirectory scratch;
    const ManifestFixture fixture = FilesManifest(c.files);
    EXPECT_EQ(FailureOf([&] {
                WorkProgress progress;
                ExtractRuntime(fixture.manifest, scratch / L"portable-runtime", *CreateDecompressor(), progress);
              }),
              c.failure)
        << c.files.front().name;
  }
}

TEST(ExtractRuntime, RepeatedFailuresLeakNoHandles) {
  ScratchDirectory scratch;
  std::vector<ContainerRecord> records = {testing::RecordFor({"a/b/c.txt", Text("abc")}),
                                          testing::RecordFor({"a/b/d.txt", Text("abd")})};
  records[1].digest[0] ^= 1;
  const ManifestFixture fixture(std::move(records));
  const std::wstring runtime = scratch / L"portable-runtime";
  auto failOnce = [&] {
    EXPECT_EQ(FailureOf([&] {
                WorkProgress progress;
                ExtractRuntime(fixture.manifest, runtime, *CreateDecompressor(), progress);
              }),
              "Portable file SHA-256 mismatch");
    RemoveRuntimeDirectory(runtime);
  };
  failOnce();
  DWORD before = 0;
  GetProcessHandleCount(GetCurrentProcess(), &before);
  for (int i = 0; i < 25; ++i) failOnce();
  DWORD after = 0;
  GetProcessHandleCount(GetCurrentProcess(), &after);
  EXPECT_EQ(after, before);
  EXPECT_FALSE(PathExists(runtime));
}

TEST(RemoveRuntimeDirectory, RemovesWholeTreesAndAcceptsAbsentOnes) {
  ScratchDirectory scratch;
  struct Case {
    const char* name;
    std::vector<std::string> directories;
    std::vector<std::string> files;
  };
  const Case cases[] = {
      {"missing root", {}, {}},
      {"empty root", {""}, {}},
      {"three levels", {"", "a", "a\\b", "a\\b\\c", "d"}, {"top.txt", "a\\1.txt", "a\\b\\2.txt", "a\\b\\c\\3.txt"}},
  };
  for (const Case& c : cases) {
    const std::wstring root = scratch / L"portable-runtime";
    for (const std::string& directory : c.directories) {
      CreateDirectoryW((directory.empty() ? root : root + L"\\" + testing::Widen(directory)).c_str(), nullptr);
    }
    for (const std::string& file : c.files) testing::WriteFileText(root + L"\\" + testing::Widen(file), file);
    EXPECT_EQ(FailureOf([&] { RemoveRuntimeDirectory(root); }), "(no failure)") << c.name;
    EXPECT_FALSE(PathExists(root)) << c.name;
  }
  EXPECT_EQ(FailureOf([&] { RemoveRuntimeDirectory(scratch / L"no-parent\\portable-runtime"); }), "(no failure)");
}

TEST(RemoveRuntimeDirectory, StopsAtWhatItMayNotDelete) {
  ScratchDirectory scratch;
  const std::wstring root = scratch / L"portable-runtime";

  // A file instead of a directory is refused and stays.
  testing::WriteFileText(root, "not a directory");
  EXPECT_EQ(FailureOf([&] { RemoveRuntimeDirectory(root); }),
            "Portable data/runtime directories cannot be files, symlinks or junctions");
  EXPECT_EQ(testing::ReadFileText(root), "not a directory");
  DeleteFileW(root.c_str());

  // No attribute is changed before a deletion: read-only stops the removal.
  CreateDirectoryW(root.c_str(), nullptr);
  testing::WriteFileText(root + L"\\locked.txt", "read only");
  SetFileAttributesW((root + L"\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(FailureOf([&] { RemoveRuntimeDirectory(root); }), "Cannot remove portable runtime file (Windows error 5)");
  EXPECT_TRUE(PathExists(root + L"\\locked.txt"));
  SetFileAttributesW((root + L"\\locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

  // A file held open without delete sharing.
  {
    UniqueHandle held(CreateFileW((root + L"\\locked.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.valid());
    EXPECT_EQ(FailureOf([&] { RemoveRuntimeDirectory(root); }),
              "Cannot remove portable runtime file (Windows error 32)");
  }
  EXPECT_EQ(FailureOf([&] { RemoveRuntimeDirectory(root); }), "(no failure)");
  EXPECT_FALSE(PathExists(root));
}

TEST(RemoveRuntimeDirectory, RemovesDirectoryLinksWithoutEnteringThem) {
  // Wine cannot make junctions or NTFS symbolic links, and shows a Unix link
  // as a directory reparse point that opens as its target.
  ScratchDirectory scratch;
  CreateDirectoryW((scratch / L"target").c_str(), nullptr);
  testing::WriteFileText(scratch / L"target\\kept.txt", "kept");
  CreateDirectoryW((scratch / L"portable-runtime").c_str(), nullptr);
  const std::wstring link = scratch / L"portable-runtime\\link";
  CreateSymbolicLinkW(link.c_str(), (scratch / L"target").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
  const DWORD attributes = GetFileAttributesW(link.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    GTEST_SKIP() << "this platform cannot create directory symbolic links (Wine 8.0 cannot)";
  }
  RemoveRuntimeDirectory(scratch / L"portable-runtime");
  EXPECT_FALSE(PathExists(scratch / L"portable-runtime"));
  EXPECT_EQ(testing::ReadFileText(scratch / L"target\\kept.txt"), "kept");
}

TEST(RemoveRuntimeDirectory, NeverDeletesThroughAUnixDirectoryLink) {
  // What Wine shows for a Unix symbolic link: a directory reparse point in
  // the listing. Whether Wine lets RemoveDirectoryW remove it or not, the
  // files of its target must survive.
  ScratchDirectory scratch;
  CreateDirectoryW((scratch / L"target").c_str(), nullptr);
  testing::WriteFileText(scratch / L"target\\kept.txt", "kept");
  CreateDirectoryW((scratch / L"portable-runtime").c_str(), nullptr);
  // Wine may report a Unix program's end before the program has made the
  // link, so the test waits for the link itself.
  testing::RunProgram(L"Z:\\bin\\ln", L"-s \"" + testing::UnixPathOf(scratch / L"target") + L"\" \"" +
                                          testing::UnixPathOf(scratch / L"portable-runtime\\link") + L"\"");
  bool linked = false;
  for (int i = 0; i < 500 && !linked; ++i, Sleep(10)) linked = PathExists(scratch / L"portable-runtime\\link");
  if (!linked) {
    GTEST_SKIP() << "cannot create a Unix symbolic link from here (not running under Wine)";
  }
  FailureOf([&] { RemoveRuntimeDirectory(scratch / L"portable-runtime"); });
  EXPECT_EQ(testing::ReadFileText(scratch / L"target\\kept.txt"), "kept");
}

}  // namespace
}  // namespace qvn
