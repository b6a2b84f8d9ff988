#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pack/image/pe_image_file.h"

namespace qvn::pack {

// A named place in an image's code, from its export table or from the COFF
// symbol table that the GNU linker leaves in an image it did not strip.
struct PeSymbol {
  std::uint32_t rva = 0;
  std::string name;
};

// Every exported function and every COFF function symbol in a code
// section, sorted by RVA. Raises PeFormatError for tables that lie outside
// the image.
std::vector<PeSymbol> ReadPeSymbols(const PeImageFile& image);

// The symbol at or nearest below `rva`, or null.
const PeSymbol* SymbolAtOrBelow(const std::vector<PeSymbol>& symbols, std::uint32_t rva);

}  // namespace qvn::pack
