// What Windows itself reads from launchers that qvn_pack launcher wrote: the
// demo launcher (from the stub, with an icon and version information) and
// one made from that launcher as its stub with another game.
#include <windows.h>

#include <gtest/gtest.h>

#include <imagehlp.h>

#include <optional>
#include <string>
#include <vector>

#include "base/win/unique_handle.h"
#include "tests/support/program_run.h"
#include "tests/support/scratch_directory.h"
#include "tests/support/test_payload.h"

namespace qvn {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::HostPathToWindows;

const std::wstring kDemoLauncher = HostPathToWindows(QVN_DEMO_LAUNCHER_PATH);
const std::wstring kRepackedLauncher = HostPathToWindows(QVN_REPACKED_LAUNCHER_PATH);
const std::wstring kStub = HostPathToWindows(QVN_STUB_PATH);

// An image loaded for its resources only.
UniqueModule LoadForResources(const std::wstring& path) {
  UniqueModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  EXPECT_TRUE(module.valid()) << "error " << GetLastError();
  return module;
}

// The resource's bytes through FindResourceW and LoadResource, or nothing.
std::optional<Bytes> ResourceBytes(HMODULE module, WORD id, LPCWSTR type) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return std::nullopt;
  const HGLOBAL loaded = LoadResource(module, found);
  const auto* bytes = static_cast<const std::uint8_t*>(LockResource(loaded));
  if (bytes == nullptr) return std::nullopt;
  return Bytes(bytes, bytes + SizeofResource(module, found));
}

TEST(WrittenLauncher, PayloadDigestAndManifestAsWindowsFindsThem) {
  const UniqueModule stub = LoadForResources(kStub);
  const std::optional<Bytes> stubManifest = ResourceBytes(stub.get(), 1, RT_MANIFEST);
  ASSERT_TRUE(stubManifest);
  EXPECT_EQ(*stubManifest, testing::ReadFileBytes(HostPathToWindows(QVN_MANIFEST_PATH)))
      << "the stub holds our manifest";
  EXPECT_FALSE(ResourceBytes(stub.get(), 101, RT_RCDATA)) << "the stub holds no payload";

  std::optional<Bytes> demoPayload;
  for (const std::wstring& path : {kDemoLauncher, kRepackedLauncher}) {
    SCOPED_TRACE(testing::UnixPathOf(path).c_str());
    const UniqueModule launcher = LoadForResources(path);
    const std::optional<Bytes> payload = ResourceBytes(launcher.get(), 101, RT_RCDATA);
    const std::optional<Bytes> digest = ResourceBytes(launcher.get(), 102, RT_RCDATA);
    ASSERT_TRUE(payload && digest);
    const auto expected = testing::Sha256Of(*payload);
    EXPECT_EQ(*digest, Bytes(expected.begin(), expected.end()));
    EXPECT_EQ(ResourceBytes(launcher.get(), 1, RT_MANIFEST), stubManifest) << "the manifest byte for byte";
    if (demoPayload) {
      EXPECT_NE(*payload, *demoPayload) << "101 and 102 of a launcher used as stub are replaced";
    }
    demoPayload = payload;
  }
  EXPECT_FALSE(ResourceBytes(LoadForResources(kDemoLauncher).get(), 103, RT_RCDATA)) << "the window is allowed";
  EXPECT_EQ(ResourceBytes(LoadForResources(kRepackedLauncher).get(), 103, RT_RCDATA), Bytes{0})
      << "--no-progress-window";
  for (const std::wstring& path : {kDemoLauncher, kRepackedLauncher}) {
    EXPECT_FALSE(ResourceBytes(LoadForResources(path).get(), 104, RT_RCDATA)) << "no crash capture without the option";
  }
}

std::wstring VersionString(const Bytes& info, const std::wstring& name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring query = L"\\StringFileInfo\\040904B0\\" + name;
  if (!VerQueryValueW(info.data(), query.c_str(), &value, &length)) return L"(missing)";
  return std::wstring(static_cast<const wchar_t*>(value));
}

TEST(WrittenLauncher, VersionInformationAsExplorerReadsIt) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(kDemoLauncher.c_str(), &ignored);
  ASSERT_NE(size, 0u) << "error " << GetLastError();
  Bytes info(size);
  ASSERT_TRUE(GetFileVersionInfoW(kDemoLauncher.c_str(), 0, size, info.data()));

  const std::wstring version = QVN_DEMO_VERSION;
  const std::vector<std::pair<std::wstring, std::wstring>> strings = {
      {L"CompanyName", L"Quorvane demo studio"},
      {L"FileDescription", L"Quorvane portable"},
      {L"FileVersion", version},
      {L"InternalName", L"qvn_portable_launcher"},
      {L"LegalCopyright", L"Copyright (C) Quorvane demo studio"},
      {L"OriginalFilename", L"qvn_portable_launcher.exe"},
      {L"ProductName", L"Quorvane"},
      {L"ProductVersion", version},
  };
  for (const auto& [name, expected] : strings)
    EXPECT_EQ(VersionString(info, name), expected) << testing::UnixPathOf(name);

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  const std::wstring fixedVersion =
      std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
      std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(fixedVersion, version);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  WORD* translation = nullptr;
  ASSERT_TRUE(
      VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 0x04B0);
}

TEST(WrittenLauncher, EveryIconImageLoads) {
  const UniqueModule launcher = LoadForResources(kDemoLauncher);
  const std::optional<Bytes> group = ResourceBytes(launcher.get(), 1, RT_GROUP_ICON);
  ASSERT_TRUE(group);
  ASSERT_GE(group->size(), 6u);
  const std::size_t count = std::size_t{(*group)[4]} | (std::size_t{(*group)[5]} << 8);
  EXPECT_EQ(count, static_cast<std::size_t>(QVN_DEMO_ICON_IMAGES));
  ASSERT_EQ(group->size(), 6 + 14 * count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = group->data() + 6 + 14 * i;
    const WORD id = static_cast<WORD>(entry[12] | (entry[13] << 8));
    std::optional<Bytes> image = ResourceBytes(launcher.get(), id, RT_ICON);
    ASSERT_TRUE(image) << "RT_ICON " << id;
    const int width = entry[0] == 0 ? 256 : entry[0];
    HICON icon = CreateIconFromResourceEx(image->data(), static_cast<DWORD>(image->size()), TRUE, 0x00030000, width,
                                          width, LR_DEFAULTCOLOR);
    EXPECT_NE(icon, nullptr) << "RT_ICON " << id << ", error " << GetLastError();
    if (icon != nullptr) DestroyIcon(icon);
  }
}

TEST(WrittenLauncher, ChecksumAgreesWithImagehlp) {
  for (const std::wstring& path : {kDemoLauncher, kRepackedLauncher}) {
    DWORD written = 0;
    DWORD computed = 0;
    ASSERT_EQ(MapFileAndCheckSumW(path.c_str(), &written, &computed), static_cast<DWORD>(CHECKSUM_SUCCESS));
    EXPECT_NE(written, 0u);
    EXPECT_EQ(written, computed) << testing::UnixPathOf(path);
  }
}

TEST(WrittenLauncher, ALauncherMadeFromALauncherRunsItsOwnGame) {
  testing::ScratchDirectory scratch;
  const std::wstring launcher = scratch / L"Repacked.exe";
  testing::WriteFileBytes(launcher, testing::ReadFileBytes(kRepackedLauncher));
  const testing::ProgramResult result = testing::RunProgram(launcher, L"exit 7");
  EXPECT_EQ(result.exitCode, 7u) << result.standardError;
  EXPECT_NE(testing::ReadFileText(scratch / L"data\\game.log").find("QVN_PORTABLE_EXIT status=0x00000007"),
            std::string::npos);
}

}  // namespace
}  // namespace qvn
