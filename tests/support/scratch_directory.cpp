#include "tests/support/scratch_directory.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

#include "base/path_composition.h"
#include "base/win/unique_handle.h"

namespace qvn::testing {

ScratchDirectory::ScratchDirectory() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, temp);
  static_assert(sizeof(DWORD) == 4);
  const std::wstring base = JoinPath(temp, L"qvn");
  CreateDirectoryW(base.c_str(), nullptr);
  for (unsigned attempt = 0;; ++attempt) {
    path_ = JoinPath(base, std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) + L"-" +
                               std::to_wstring(attempt));
    if (CreateDirectoryW(path_.c_str(), nullptr)) return;
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create scratch directory");
  }
}

ScratchDirectory::~ScratchDirectory() { RemoveTreeForcibly(path_); }

std::wstring ScratchDirectory::operator/(const std::wstring& name) const { return JoinPath(path_, name); }

void RemoveTreeForcibly(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    DeleteFileW(path.c_str());
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    WIN32_FIND_DATAW entry = {};
    UniqueFindHandle search(FindFirstFileW(JoinPath(path, L"*").c_str(), &entry));
    if (search.valid()) {
      do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") RemoveTreeForcibly(JoinPath(path, name));
      } while (FindNextFileW(search.get(), &entry));
    }
  }
  RemoveDirectoryW(path.c_str());
}

std::wstring HostPathToWindows(const char* hostPath) {
  std::wstring path = L"Z:" + Widen(hostPath);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

std::wstring UnixPathOf(const std::wstring& windowsPath) {
  // wine_get_unix_file_name is Wine's own export; absent on Windows.
  using UnixFileName = char* (*)(const wchar_t*);
  const auto convert = reinterpret_cast<UnixFileName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return windowsPath;
  char* unixPath = convert(windowsPath.c_str());
  if (unixPath == nullptr) return windowsPath;
  std::wstring result = Widen(unixPath);
  HeapFree(GetProcessHeap(), 0, unixPath);
  return result;
}

void WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw std::runtime_error("cannot create " + Narrow(path));
  DWORD written = 0;
  if (!bytes.empty() && (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
                         written != bytes.size())) {
    throw std::runtime_error("cannot write " + Narrow(path));
  }
}

void WriteFileText(const std::wstring& path, const std::string& text) {
  WriteFileBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw std::runtime_error("cannot open " + Narrow(path));
  LARGE_INTEGER size = {};
  GetFileSizeEx(file.get(), &size);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty() &&
      (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size())) {
    throw std::runtime_error("cannot read " + Narrow(path));
  }
  return bytes;
}

std::string ReadFileText(const std::wstring& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {

void ListTreeInto(const std::wstring& root, const std::string& prefix,
                  std::vector<std::pair<std::string, std::string>>& out) {
  WIN32_FIND_DATAW entry = {};
  UniqueFindHandle search(FindFirstFileW(JoinPath(root, L"*").c_str(), &entry));
  if (!search.valid()) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::string relative = prefix + Narrow(name);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out.emplace_back(relative + "/", "");
      ListTreeInto(JoinPath(root, name), relative + "/", out);
    } else {
      out.emplace_back(relative, ReadFileText(JoinPath(root, name)));
    }
  } while (FindNextFileW(search.get(), &entry));
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ListTree(const std::wstring& root) {
  std::vector<std::pair<std::string, std::string>> tree;
  ListTreeInto(root, "", tree);
  std::sort(tree.begin(), tree.end());
  return tree;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
  return utf8;
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

}  // namespace qvn::testing
