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

std::size_t LargestEntrySize(const PayloadManifest& manifest) {
  std::size_t largest = 0;
  for (const PayloadEntry& entry : manifest) largest = std::max<std::size_t>(largest, entry.expandedSize);
  return largest;
}

// `buffer` holds at least the entry's expanded size; what an earlier entry
// left in it is overwritten, since a stream decodes without error only once
// it has filled its whole output.
void ExtractEntry(const PayloadEntry& entry, const std::wstring& runtimeDirectory, Decompressor& decompressor,
                  std::span<std::uint8_t> buffer, HeldDirectories& held, WorkProgress& progress) {
  OpenEntryDirectories(runtimeDirectory, entry.relativePath, held);

  const std::span<std::uint8_t> contents = buffer.first(entry.expandedSize);
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
  // One buffer for every entry rather than fresh memory for each: the first
  // touch of fresh memory faults once per page, and on a virtual machine
  // whose host takes freed memory back each such fault costs more again. At
  // the format's limit that was about 98,000 faults and 0.3 s of kernel time
  // a start.
  const ExpandedBuffer buffer(LargestEntrySize(manifest));
  for (const PayloadEntry& entry : manifest) {
    ExtractEntry(entry, runtimeDirectory, decompressor, buffer.bytes(), held, progress);
  }
}

}  // namespace qvn
