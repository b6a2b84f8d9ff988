#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvn::testing {

struct PayloadResources {
  std::vector<std::uint8_t> payload;  // resource 101; left out when empty and omitPayload
  std::vector<std::uint8_t> digest;   // resource 102
  bool omitPayload = false;
  bool omitDigest = false;
  std::vector<std::uint8_t> progressWindow{};  // resource 103; left out when empty
};

// Copies the launcher built without resources to `destination` and writes
// the given resources into the copy (language neutral).
void MakeLauncherCopy(const std::wstring& destination, const PayloadResources& resources);

// The built launcher without 101 and 102, and the one with an empty 101.
std::wstring BareLauncherPath();
std::wstring EmptyPayloadLauncherPath();

}  // namespace qvn::testing
