#include "tools/pack/examine/payload_listing.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "base/sha256.h"
#include "tools/pack/examine/stored_name.h"

namespace qvn::pack {
namespace {

std::string Ratio(std::uint64_t stored, std::uint64_t expanded) {
  if (expanded == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", 100.0 * static_cast<double>(stored) / static_cast<double>(expanded));
  return text;
}

std::string Row(const std::string& name, std::size_t nameWidth, const std::string& expanded, const std::string& stored,
                const std::string& ratio, const std::string& digest) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "  %12s  %12s  %6s  ", expanded.c_str(), stored.c_str(), ratio.c_str());
  std::string line = name;
  line.resize(std::max(nameWidth, name.size()), ' ');
  line += numbers + digest;
  while (line.back() == ' ') line.pop_back();
  return line + "\n";
}

}  // namespace

std::string FormatPayloadListing(const PayloadManifest& manifest) {
  std::size_t nameWidth = 4;
  for (const PayloadEntry& entry : manifest) nameWidth = std::max(nameWidth, entry.relativePath.size());

  std::string text = Row("name", nameWidth, "expanded", "stored", "ratio", "sha256");
  std::uint64_t expandedTotal = 0;
  std::uint64_t storedTotal = 0;
  for (const PayloadEntry& entry : manifest) {
    text +=
        Row(StoredName(entry), nameWidth, std::to_string(entry.expandedSize), std::to_string(entry.storedData.size()),
            Ratio(entry.storedData.size(), entry.expandedSize), DigestHex(entry.digest));
    expandedTotal += entry.expandedSize;
    storedTotal += entry.storedData.size();
  }
  text += Row(std::to_string(manifest.size()) + (manifest.size() == 1 ? " file" : " files"), nameWidth,
              std::to_string(expandedTotal), std::to_string(storedTotal), Ratio(storedTotal, expandedTotal), "");
  return text;
}

}  // namespace qvn::pack
