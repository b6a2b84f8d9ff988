#include "tools/pack/crash/module_images.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace qvn::pack {
namespace {

std::string Folded(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string LastPart(const std::string& name) {
  const std::size_t slash = name.find_last_of("\\/");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

}  // namespace

std::vector<ModuleImage> MatchModuleImages(const Minidump& dump, std::vector<CandidateImage> candidates,
                                           const std::string& sourceName) {
  std::vector<ModuleImage> images;
  for (const DumpModule& module : dump.modules) {
    ModuleImage entry;
    entry.module = &module;
    const std::string wanted = Folded(module.FileName());
    for (CandidateImage& candidate : candidates) {
      if (candidate.bytes.empty() || Folded(LastPart(candidate.name)) != wanted) continue;
      try {
        PeImageFile image(std::move(candidate.bytes));
        candidate.bytes.clear();
        const PeHeaders& headers = image.headers();
        if (headers.timeDateStamp != module.timeDateStamp || headers.sizeOfImage != module.sizeOfImage) {
          entry.match = ImageMatch::kWrongBuild;
          entry.note = "the dump's " + module.FileName() + " is not this build: TimeDateStamp " +
                       Hex(module.timeDateStamp) + " and SizeOfImage " + Hex(module.sizeOfImage) + " in the dump, " +
                       Hex(headers.timeDateStamp) + " and " + Hex(headers.sizeOfImage) + " in " + sourceName + "'s " +
                       candidate.name;
          continue;
        }
        entry.symbols = ReadPeSymbols(image);
        entry.image.emplace(std::move(image));
        entry.onDisk = candidate.onDisk;
        entry.match = ImageMatch::kMatched;
        entry.note.clear();
        break;
      } catch (const PeFormatError& error) {
        entry.match = ImageMatch::kWrongBuild;
        entry.note = sourceName + "'s " + candidate.name + " is no readable image: " + error.what();
      }
    }
    images.push_back(std::move(entry));
  }
  return images;
}

const ModuleImage* ImageAt(const std::vector<ModuleImage>& images, std::uint64_t address) {
  for (const ModuleImage& entry : images) {
    if (entry.module->Holds(address)) return &entry;
  }
  return nullptr;
}

}  // namespace qvn::pack
