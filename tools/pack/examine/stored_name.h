#pragma once

#include <string>

#include "payload/payload_manifest.h"

namespace qvn::pack {

// An entry's name as stored: the parser widened each ASCII byte to one code
// unit, so narrowing it back is exact.
inline std::string StoredName(const PayloadEntry& entry) {
  std::string name;
  for (wchar_t unit : entry.relativePath) name += static_cast<char>(unit);
  return name;
}

}  // namespace qvn::pack
