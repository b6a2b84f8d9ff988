#include "tools/pack/image/pe_symbols.h"

#include <algorithm>
#include <cstring>

namespace qvn::pack {
namespace {

// Names end at their terminator or after this many bytes.
constexpr std::uint64_t kMaxNameLength = 4096;

std::string TextAt(const PeFileView& file, std::uint64_t offset, std::uint64_t limit) {
  std::string text;
  for (std::uint64_t at = offset; at < limit && text.size() < kMaxNameLength; ++at) {
    const char c = static_cast<char>(file.U8(at, "symbol name"));
    if (c == '\0') break;
    text.push_back(c);
  }
  return text;
}

std::string TextAtRva(const PeImageFile& image, std::uint32_t rva) {
  std::string text;
  while (text.size() < kMaxNameLength) {
    const char c = static_cast<char>(image.U8At(rva + static_cast<std::uint32_t>(text.size()), "export name"));
    if (c == '\0') break;
    text.push_back(c);
  }
  return text;
}

void AddExports(const PeImageFile& image, std::vector<PeSymbol>& symbols) {
  const PeDataDirectory directory = image.headers().Directory(image.file(), kExportDirectory);
  if (directory.rva == 0 || directory.size == 0) return;
  const auto field = [&](std::uint64_t offset) {
    return image.U32At(directory.rva + static_cast<std::uint32_t>(offset), "export directory");
  };
  const std::uint32_t functionCount = field(kExportNumberOfFunctions);
  const std::uint32_t nameCount = field(kExportNumberOfNames);
  const std::uint32_t functions = field(kExportAddressOfFunctions);
  const std::uint32_t names = field(kExportAddressOfNames);
  const std::uint32_t ordinals = field(kExportAddressOfNameOrdinals);
  for (std::uint32_t i = 0; i < nameCount; ++i) {
    const std::uint16_t index = image.U16At(ordinals + 2 * i, "export ordinals");
    if (index >= functionCount) continue;
    const std::uint32_t rva = image.U32At(functions + 4 * std::uint32_t{index}, "export addresses");
    // An RVA inside the export directory is a forwarder, not code here.
    if (rva >= directory.rva && rva - directory.rva < directory.size) continue;
    if (!image.IsCode(rva)) continue;
    symbols.push_back({rva, TextAtRva(image, image.U32At(names + 4 * i, "export names"))});
  }
}

void AddCoffSymbols(const PeImageFile& image, std::vector<PeSymbol>& symbols) {
  const PeHeaders& headers = image.headers();
  if (headers.symbolTable == 0 || headers.symbolCount == 0) return;
  const PeFileView& file = image.file();
  const std::uint64_t stringTable = headers.symbolTable + std::uint64_t{kCoffSymbolSize} * headers.symbolCount;
  const std::uint64_t stringTableEnd = stringTable + file.U32(stringTable, "COFF string table");
  for (std::uint32_t i = 0; i < headers.symbolCount; ++i) {
    const std::uint64_t record = headers.symbolTable + std::uint64_t{kCoffSymbolSize} * i;
    const std::uint8_t auxCount = file.U8(record + kCoffSymbolAuxCount, "COFF symbol");
    const auto section = static_cast<std::int16_t>(file.U16(record + kCoffSymbolSectionNumber, "COFF symbol"));
    const std::uint16_t type = file.U16(record + kCoffSymbolType, "COFF symbol");
    const std::uint8_t storage = file.U8(record + kCoffSymbolStorageClass, "COFF symbol");
    // Compilers mark functions by type; hand-written assembly leaves its
    // global labels without one.
    const bool typed =
        type == kCoffSymbolTypeFunction && (storage == kCoffClassExternal || storage == kCoffClassStatic);
    const bool function = (typed || (type == 0 && storage == kCoffClassExternal)) && section > 0 &&
                          static_cast<std::size_t>(section) <= headers.sections.size();
    if (function) {
      const std::uint32_t rva = headers.sections[static_cast<std::size_t>(section) - 1].virtualAddress +
                                file.U32(record + kCoffSymbolValue, "COFF symbol");
      std::string name;
      if (file.U32(record + kCoffSymbolName, "COFF symbol") == 0) {
        name = TextAt(file, stringTable + file.U32(record + kCoffSymbolName + 4, "COFF symbol"), stringTableEnd);
      } else {
        name = TextAt(file, record + kCoffSymbolName, record + kCoffSymbolName + 8);
      }
      if (image.IsCode(rva)) symbols.push_back({rva, std::move(name)});
    }
    i += auxCount;
  }
}

}  // namespace

std::vector<PeSymbol> ReadPeSymbols(const PeImageFile& image) {
  std::vector<PeSymbol> symbols;
  AddExports(image, symbols);
  AddCoffSymbols(image, symbols);
  std::stable_sort(symbols.begin(), symbols.end(), [](const PeSymbol& a, const PeSymbol& b) { return a.rva < b.rva; });
  return symbols;
}

const PeSymbol* SymbolAtOrBelow(const std::vector<PeSymbol>& symbols, std::uint32_t rva) {
  auto above = std::upper_bound(symbols.begin(), symbols.end(), rva,
                                [](std::uint32_t value, const PeSymbol& symbol) { return value < symbol.rva; });
  if (above == symbols.begin()) return nullptr;
  return &*std::prev(above);
}

}  // namespace qvn::pack
