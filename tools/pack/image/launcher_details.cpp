#include "tools/pack/image/launcher_details.h"

#include <algorithm>

#include "tools/pack/image/pe_image.h"
#include "tools/pack/image/pe_resource_reader.h"
#include "tools/pack/image/version_resource.h"

namespace qvn::pack {

std::string DescribeLauncherDetails(std::span<const std::uint8_t> file) {
  std::string text;
  try {
    const PeFileView view(file);
    const bool hasCertificate = ReadPeHeaders(view).Directory(view, kCertificateDirectory).size != 0;
    const std::vector<PeResource> resources = ReadPeResources(file);
    std::size_t icons = 0;
    for (const PeResource& resource : resources) {
      if (resource.type == ResourceName(kResourceTypeIcon)) ++icons;
      if (resource.type != ResourceName(kResourceTypeVersion)) continue;
      for (const auto& [name, value] : ReadVersionStrings(resource.bytes))
        text.append("version ").append(name).append(": ").append(value) += "\n";
    }
    text += "icon images: " + std::to_string(icons) + "\n";
    text += std::string("certificate table: ") + (hasCertificate ? "signed" : "unsigned") + "\n";
  } catch (const std::runtime_error& error) {
    text += std::string("resources unreadable: ") + error.what() + "\n";
  }
  return text;
}

}  // namespace qvn::pack
