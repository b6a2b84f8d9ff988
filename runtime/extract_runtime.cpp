#include "runtime/extract_runtime.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/error.h"
#include "base/path_composition.h"
#include "base/win/windows_error.h"
#include "base/work_progress.h"
#include "payload/entry_check.h"
#include "payload/payload_contract.h"
#include "runtime/decompressor.h"
#include "runtime/expanded_buffer.h"
#include "runtime/portable_directory.h"
#include "runtime/runtime_file.h"

namespace qvn {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Directory handles held until extraction ends, closed in the order they
// were opened. The same directory appears once per entry below it.
class HeldDirectories {
 public:
  HeldDirectories() = default;
  HeldDirectories(const HeldDirectories&) = delete;
  HeldDirectories& operator=(const HeldDirectories&) = delete;
  ~HeldDirectories() {
    for (UniqueHandle& directory : directories_) directory.reset();
  }

  void Open(const std::wstring& path) { directories_.push_back(OpenPortableDirectory(path, true)); }

 private:
  std::vector<UniqueHandle> directories_;
};

// Opens, creating where missing, each directory of the entry's parent part
// from the runtime directory down: assets, then assets\icons for
// assets/icons/x.svg; nothing for a name at the root.
void OpenEntryDirectories(const std::wstring& runtimeDirectory, const std::wstring& relativePath,
                          HeldDirectories& held) {
  const auto lastSeparator = std::find_if(relativePath.rbegin(), relativePath.rend(), IsSeparator);
  if (lastSeparator == relativePath.rend()) return;
  const std::wstring_view parent(relativePath.data(),
                                 static_cast<std::size_t>(relativePath.rend() - lastSeparator - 1));
  std::wstring directory = runtimeDirectory;
  std::size_t start = 0;
  while (start < parent.size()) {
    if (IsSeparator(parent[start])) {
      ++start;
      continue;
    }
    std::size_t end = start;
    while (end < parent.size() && !IsSeparator(parent[end])) ++end;
    directory = JoinPath(directory, parent.substr(start, end - start));
    held.Open(directory);
    start = end;
  }
}

void ExtractEntry(const PayloadEntry& entry, const std::wstring& runtimeDirectory, Decompressor& decompressor,
                  HeldDirectories& held, WorkProgress& progress) {
  OpenEntryDirectories(runtimeDirectory, entry.relativePath, held);

  const ExpandedBuffer buffer(entry.expandedSize);
  const std::span<std::uint8_t> contents = buffer.bytes();
  CheckEntryContents(entry, contents, decompressor);
  progress.AddDone(2 * entry.expandedSize);  // decoded and hashed
  WriteRuntimeFile(JoinPath(runtimeDirectory, entry.relativePath), contents);
  progress.AddDone(entry.expandedSize);
}

}  // namespace

void ExtractRuntime(const PayloadManifest& manifest, const std::wstring& runtimeDirectory, Decompressor& decompressor,
                    WorkProgress& progress) {
  // Declared first so that, on failure, the file and buffer go first, then
  // the held directories.
  HeldDirectories held;
  held.Open(runtimeDirectory);
  held.Open(JoinPath(runtimeDirectory, kRuntimeTempFolderName.wide()));
  for (const PayloadEntry& entry : manifest) ExtractEntry(entry, runtimeDirectory, decompressor, held, progress);
}

}  // namespace qvn
