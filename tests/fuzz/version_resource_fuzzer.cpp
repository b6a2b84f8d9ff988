// The version-resource reader on any bytes, as `list` and `verify` read a
// launcher's RT_VERSION. It must refuse or end; the strings it reads, built
// into a resource of our own, must read back the same.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/utf16_text.h"
#include "tests/fuzz/fuzz_require.h"
#include "tools/pack/image/version_resource.h"

using qvn::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qvn::pack;
  std::vector<VersionString> strings;
  try {
    strings = ReadVersionStrings(std::span<const std::uint8_t>(data, size));
  } catch (const VersionResourceError&) {
    return 0;
  } catch (const qvn::TextEncodingError&) {
    return 0;  // a key or value that is not UTF-16: lone surrogates
  }
  std::vector<std::uint8_t> built;
  try {
    built = BuildVersionResource({1, 2, 3, 4}, strings);
  } catch (const VersionResourceError&) {
    return 0;  // longer than a block can say
  }
  Require(ReadVersionStrings(built) == strings);
  return 0;
}
