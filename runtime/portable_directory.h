#pragma once

#include <string>

#include "base/win/unique_handle.h"

namespace qvn {

// Opens a plain directory and holds it without delete sharing, so nobody can
// delete, move or swap it for a link while it is held. With `create`, makes
// it first when missing. Files and reparse points of any kind are refused,
// and a link is opened as itself, never followed.
UniqueHandle OpenPortableDirectory(const std::wstring& path, bool create);

// The directory state of one run. Members are released in reverse order:
// runtime directory path, lock file (which deletes portable.lock), data
// directory handle, data directory path.
struct PortableDirectories {
  std::wstring dataDirectory;
  UniqueHandle dataDirectoryHandle;
  UniqueHandle lockFile;
  std::wstring runtimeDirectory;
};

}  // namespace qvn
