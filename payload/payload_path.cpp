#include "payload/payload_path.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <string_view>

#include "payload/payload_contract.h"
#include "payload/payload_fault.h"

namespace qvn {

bool IsAdmittedNameByte(std::uint8_t byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '_' ||
         byte == '-' || byte == '.' || byte == '/';
}

// Windows maps these stems to devices whatever the extension or letter case,
// so a file or directory named like them cannot be created as a plain file.
bool IsReservedDeviceName(std::string_view component) {
  const std::string stem = FoldAsciiCase(component.substr(0, component.find('.')));
  for (const std::string_view device : {"con", "prn", "aux", "nul"}) {
    if (stem == device) {
      return true;
    }
  }
  if (stem.size() != 4 || stem[3] < '1' || stem[3] > '9') {
    return false;
  }
  const std::string_view port = std::string_view(stem).substr(0, 3);
  return port == "com" || port == "lpt";
}

// Empty, "." and ".." components would leave or alias the directory, and
// Windows silently strips a trailing dot, which would alias another name.
bool IsUnsafePathComponent(std::string_view component) {
  return component.empty() || component == "." || component == ".." || component.back() == '.';
}

std::string FoldAsciiCase(std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

bool IsReservedStatePath(std::string_view key) {
  const std::string_view data = kDataFolderName.narrow();
  return key == kReservedStateFileName.narrow() ||
         (key.size() > data.size() && key.starts_with(data) && key[data.size()] == '/');
}

std::string ValidatePayloadPath(std::span<const std::uint8_t> name) {
  // The length is checked before anything is copied, so an absurd N from a
  // damaged record never turns into an allocation.
  if (name.empty() || name.size() > kMaxNameBytes) {
    throw PayloadError(PayloadFault::kNameLength);
  }
  if (!std::all_of(name.begin(), name.end(), IsAdmittedNameByte)) {
    throw PayloadError(PayloadFault::kUnsafeNameByte);
  }

  std::string text(name.begin(), name.end());
  const std::string_view view(text);
  int componentCount = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t separator = view.find('/', start);
    const std::string_view component =
        view.substr(start, separator == std::string_view::npos ? std::string_view::npos : separator - start);
    if (IsUnsafePathComponent(component)) {
      throw PayloadError(PayloadFault::kUnsafePathComponent);
    }
    if (++componentCount > kMaxPathComponents) {
      throw PayloadError(PayloadFault::kUnsafePathComponent);
    }
    if (IsReservedDeviceName(component)) {
      throw PayloadError(PayloadFault::kDeviceName);
    }
    if (separator == std::string_view::npos) {
      break;
    }
    start = separator + 1;
  }
  return text;
}

}  // namespace qvn
