#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/pack/crash/minidump_reader.h"
#include "tools/pack/image/pe_image_file.h"
#include "tools/pack/image/pe_symbols.h"

namespace qvn::pack {

// A file that may be the image of one of the dump's modules: from the
// launcher's payload or from a game folder. `onDisk` names a copy that a
// symbolizer can open, where there is one.
struct CandidateImage {
  std::string name;  // stored name or path below the game folder, with "/"
  std::vector<std::uint8_t> bytes;
  std::optional<std::filesystem::path> onDisk;
};

enum class ImageMatch {
  kMatched,     // name, TimeDateStamp and SizeOfImage agree
  kWrongBuild,  // a file of that name, but of another build
  kNoImage,     // no file of that name: a system module, say
};

// A module of the dump and what is known of its code.
struct ModuleImage {
  const DumpModule* module = nullptr;
  ImageMatch match = ImageMatch::kNoImage;
  std::optional<PeImageFile> image;  // when matched
  std::vector<PeSymbol> symbols;     // exports and COFF symbols of the image
  std::optional<std::filesystem::path> onDisk;
  std::string note;  // why a file of its name was refused
};

// Each module of the dump, matched against the candidates by file name
// (case-insensitive), TimeDateStamp and SizeOfImage. Candidates are
// consumed.
std::vector<ModuleImage> MatchModuleImages(const Minidump& dump, std::vector<CandidateImage> candidates,
                                           const std::string& sourceName);

// The entry for the module that holds `address`, or null.
const ModuleImage* ImageAt(const std::vector<ModuleImage>& images, std::uint64_t address);

}  // namespace qvn::pack
