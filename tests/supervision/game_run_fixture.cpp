#include "tests/supervision/game_run_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

#include "base/win/module_path.h"
#include "supervision/win/run_game.h"

namespace qvn::testing {
namespace {

// The build passes Linux paths; Wine shows the Linux root as drive Z.
std::wstring FromBuildPath(const char* linuxPath) {
  std::wstring path = L"Z:";
  for (const char* character = linuxPath; *character != '\0'; ++character) {
    path += *character == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*character));
  }
  return path;
}

std::wstring TemporaryDirectory() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  if (length == 0 || length > MAX_PATH) throw std::runtime_error("no temporary directory");
  return std::wstring(path, length);
}

void CreateDirectoryOrThrow(const std::wstring& path) {
  if (!CreateDirectoryW(path.c_str(), nullptr)) throw std::runtime_error("cannot create " + ToUtf8(path));
}

void CopyOrThrow(const std::wstring& from, const std::wstring& to) {
  if (!CopyFileW(from.c_str(), to.c_str(), TRUE)) throw std::runtime_error("cannot copy to " + ToUtf8(to));
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found = {};
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

std::wstring JoinCommands(const std::vector<std::wstring>& commands) {
  std::wstring joined;
  for (const std::wstring& command : commands) joined += command + L"\n";
  return joined;
}

}  // namespace

GameRunFixture::GameRunFixture() {
  static int counter = 0;
  root_ = TemporaryDirectory() + L"qvs" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
  dataDirectory_ = root_ + L"\\data";
  runtimeDirectory_ = dataDirectory_ + L"\\portable-runtime";
  CreateDirectoryOrThrow(root_);
  CreateDirectoryOrThrow(dataDirectory_);
  CreateDirectoryOrThrow(runtimeDirectory_);
  CreateDirectoryOrThrow(runtimeDirectory_ + L"\\temp");
  CopyOrThrow(FromBuildPath(QVN_TEST_GAME_PATH), exePath());
  CopyOrThrow(FromBuildPath(QVN_TEST_FAULT_DLL_PATH), dllPath());
}

GameRunFixture::~GameRunFixture() { RemoveTree(root_); }

std::uint32_t GameRunFixture::Run(const std::vector<std::wstring>& commands) {
  // RunGame sets these in the launcher's own block; the temporary directory
  // in particular must come back before the fixture removes its folder.
  ScopedVariable appFolder(L"APP_FOLDER_PATH", GetVariable(L"APP_FOLDER_PATH"));
  ScopedVariable artifact(L"QVN_PORTABLE_ARTIFACT", GetVariable(L"QVN_PORTABLE_ARTIFACT"));
  ScopedVariable temp(L"TEMP", GetVariable(L"TEMP"));
  ScopedVariable tmp(L"TMP", GetVariable(L"TMP"));
  ScopedVariable heap(L"_NO_DEBUG_HEAP", GetVariable(L"_NO_DEBUG_HEAP"));
  ScopedVariable script(L"QVN_TEST_GAME_COMMANDS", JoinCommands(commands));
  return RunGame(runtimeDirectory_, dataDirectory_, GetLauncherPath(), DebugEventWait());
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot read " + ToUtf8(path));
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read != 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool ok = file != INVALID_HANDLE_VALUE &&
                  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!ok) throw std::runtime_error("cannot write " + ToUtf8(path));
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
  return utf8;
}

std::string HexUnits(const std::wstring& text) {
  std::string hex;
  for (const wchar_t unit : text) {
    char digits[8] = {};
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(static_cast<std::uint16_t>(unit)));
    hex += digits;
  }
  return hex;
}

}  // namespace qvn::testing
