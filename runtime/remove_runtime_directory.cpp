#include "runtime/remove_runtime_directory.h"

#include <windows.h>

#include "base/error.h"
#include "base/path_composition.h"
#include "base/win/windows_error.h"
#include "runtime/portable_directory.h"

namespace qvn {
namespace {

bool IsDotEntry(const wchar_t* name) {
  return (name[0] == L'.' && name[1] == L'\0') || (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

void RemoveChild(const std::wstring& child, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    // Files and file links alike: a link is deleted as the link.
    RequireSuccess(DeleteFileW(child.c_str()), "Cannot remove portable runtime file");
  } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // Junctions and directory links go without their targets being entered.
    RequireSuccess(RemoveDirectoryW(child.c_str()), "Cannot remove runtime directory link");
  } else {
    RemoveRuntimeDirectory(child);
  }
}

// Enumerates and removes every entry of an open directory.
void EmptyDirectory(const std::wstring& root) {
  WIN32_FIND_DATAW entry = {};
  UniqueFindHandle search(FindFirstFileW(JoinPath(root, L"*").c_str(), &entry));
  if (!search.valid()) RaiseLastError("Cannot enumerate portable runtime");
  for (;;) {
    if (!IsDotEntry(entry.cFileName)) RemoveChild(JoinPath(root, entry.cFileName), entry.dwFileAttributes);
    if (!FindNextFileW(search.get(), &entry)) {
      if (GetLastError() != ERROR_NO_MORE_FILES) RaiseLastError("Cannot finish portable runtime enumeration");
      return;
    }
  }
}

}  // namespace

void RemoveRuntimeDirectory(const std::wstring& root) {
  if (GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return;
    throw Error("Cannot inspect old portable runtime", code);
  }
  {
    // Held without delete sharing while it is emptied, and refused if it is
    // anything but a plain directory; released before the directory itself
    // can be removed.
    UniqueHandle directory = OpenPortableDirectory(root, false);
    EmptyDirectory(root);
  }
  RequireSuccess(RemoveDirectoryW(root.c_str()), "Cannot remove portable runtime directory");
}

}  // namespace qvn
