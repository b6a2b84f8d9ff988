#include "runtime/portable_directory.h"

#include "base/error.h"
#include "base/win/windows_error.h"

namespace qvn {

UniqueHandle OpenPortableDirectory(const std::wstring& path, bool create) {
  if (create && !CreateDirectoryW(path.c_str(), nullptr)) {
    const DWORD code = GetLastError();
    // Whatever already has the name is judged on the open handle below.
    if (code != ERROR_ALREADY_EXISTS) {
      throw Error("Portable directory must be writable; cannot create directory", code);
    }
  }

  UniqueHandle directory(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!directory.valid()) RaiseLastError("Cannot open portable directory");

  // The attributes alone: GetFileInformationByHandle would also query the
  // volume for its serial number, which costs over half a millisecond under
  // Wine, and extraction opens a directory once per entry below it.
  FILE_ATTRIBUTE_TAG_INFO information = {};
  RequireSuccess(GetFileInformationByHandleEx(directory.get(), FileAttributeTagInfo, &information, sizeof information),
                 "Cannot inspect portable directory");

  const DWORD kind = information.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY);
  if (kind != FILE_ATTRIBUTE_DIRECTORY) {
    throw Error("Portable data/runtime directories cannot be files, symlinks or junctions");
  }
  return directory;
}

}  // namespace qvn
