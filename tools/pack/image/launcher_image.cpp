#include "tools/pack/image/launcher_image.h"

#include <algorithm>

#include "payload/payload_contract.h"
#include "tools/pack/image/pe_resource_reader.h"
#include "tools/pack/image/pe_resource_section.h"
#include "tools/pack/image/pe_resource_writer.h"

namespace qvn::pack {
namespace {

constexpr std::uint16_t kFirstIconId = 1;
constexpr std::uint16_t kVersionId = 1;
constexpr std::uint8_t kNoProgressWindow[] = {kProgressWindowNever};
constexpr std::uint8_t kCrashCaptureOn[] = {kCrashCaptureAlways};
// The group icon is made here and gone when the pieces are used, so the
// writer must copy it: a 6-byte header and 14 bytes for each of at most
// 65,535 images keep it below the size from which it borrows.
static_assert(6 + 14 * 0xFFFF < kBorrowedResourceSize);

bool HasManifest(std::span<const std::uint8_t> stub) {
  try {
    const std::vector<PeResource> resources = ReadPeResources(stub);
    return std::any_of(resources.begin(), resources.end(),
                       [](const PeResource& resource) { return resource.type == ResourceName(kResourceTypeManifest); });
  } catch (const PeFormatError& error) {
    throw PeRewriteRefused(std::string("it is not a well-formed PE image: ") + error.what());
  }
}

}  // namespace

ImagePieces BuildLauncherImagePieces(std::span<const std::uint8_t> stub, const LauncherResources& resources) {
  if (!LooksLikePeImage(stub)) throw PeRewriteRefused("it is not an executable image");
  if (!HasManifest(stub)) throw PeRewriteRefused("it has no application manifest, so it is no launcher stub");
  const std::vector<std::uint8_t> groupIcon = BuildGroupIcon(resources.icon, kFirstIconId);
  std::vector<PeResource> table = {
      {kResourceTypeRcData, kPayloadResourceId, kLanguageNeutral, 0, resources.payload},
      {kResourceTypeRcData, kPayloadDigestResourceId, kLanguageNeutral, 0, resources.digest},
      {kResourceTypeVersion, kVersionId, kLanguageNeutral, 0, resources.version},
  };
  for (std::size_t i = 0; i < resources.icon.size(); ++i) {
    table.push_back({kResourceTypeIcon, static_cast<std::uint16_t>(kFirstIconId + i), kLanguageNeutral, 0,
                     resources.icon[i].bytes});
  }
  if (!resources.icon.empty()) {
    table.push_back({kResourceTypeGroupIcon, kLauncherIconResourceId, kLanguageNeutral, 0, groupIcon});
  }
  if (!resources.progressWindow) {
    table.push_back({kResourceTypeRcData, kProgressWindowResourceId, kLanguageNeutral, 0, kNoProgressWindow});
  }
  if (resources.crashCapture) {
    table.push_back({kResourceTypeRcData, kCrashCaptureResourceId, kLanguageNeutral, 0, kCrashCaptureOn});
  }
  return WriteResourcePieces(stub, table);
}

std::vector<std::uint8_t> BuildLauncherImage(std::span<const std::uint8_t> stub, const LauncherResources& resources) {
  return BuildLauncherImagePieces(stub, resources).Join();
}

}  // namespace qvn::pack
