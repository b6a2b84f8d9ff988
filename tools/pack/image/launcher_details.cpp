#include "tools/pack/image/launcher_details.h"

#include <stdexcept>

#include "tools/pack/image/pe_image.h"
#include "tools/pack/image/pe_resource_reader.h"

namespace qvn::pack {

LauncherDetails ReadLauncherDetails(std::span<const std::uint8_t> file) {
  LauncherDetails details;
  try {
    const PeFileView view(file);
    details.hasCertificate = ReadPeHeaders(view).Directory(view, kCertificateDirectory).size != 0;
    for (const PeResource& resource : ReadPeResources(file)) {
      if (resource.type == ResourceName(kResourceTypeIcon)) ++details.iconImages;
      if (resource.type != ResourceName(kResourceTypeVersion)) continue;
      for (VersionString& entry : ReadVersionStrings(resource.bytes))
        details.versionStrings.push_back(std::move(entry));
    }
  } catch (const std::runtime_error& error) {
    details.unreadable = error.what();
  }
  return details;
}

std::string DescribeLauncherDetails(const LauncherDetails& details) {
  std::string text;
  for (const auto& [name, value] : details.versionStrings)
    text.append("version ").append(name).append(": ").append(value) += "\n";
  if (!details.unreadable.empty()) return text + "resources unreadable: " + details.unreadable + "\n";
  text += "icon images: " + std::to_string(details.iconImages) + "\n";
  text += std::string("certificate table: ") + (details.hasCertificate ? "signed" : "unsigned") + "\n";
  return text;
}

}  // namespace qvn::pack
