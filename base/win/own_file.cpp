#include "base/win/own_file.h"

namespace qvn {

std::optional<bool> IsOwnFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!GetFileInformationByHandle(file, &information)) return std::nullopt;
  return (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
         information.nNumberOfLinks == 1;
}

}  // namespace qvn
