#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qvn::pack {

// Where an address lies in the source, as debug information says.
struct SourceLocation {
  std::string function;
  std::string file;  // empty when unknown
  std::uint32_t line = 0;
  std::optional<std::uint64_t> functionStart;  // as an address at the object's preferred base
};

// LLVM's llvm-symbolizer, run as a program: it reads DWARF (MinGW and clang
// builds) and PDB files (MSVC builds), so this tool needs no reader of its
// own for either.
class LlvmSymbolizer {
 public:
  // The program on PATH, under its plain or a versioned name; none when
  // missing.
  static std::optional<LlvmSymbolizer> Find();

  // The source location of each RVA in `object`, in one run; an entry is
  // empty where the debug information knows nothing of it or the run fails.
  std::vector<std::optional<SourceLocation>> Locate(const std::filesystem::path& object,
                                                    const std::vector<std::uint32_t>& rvas) const;

  const std::string& program() const { return program_; }

 private:
  explicit LlvmSymbolizer(std::string program) : program_(std::move(program)) {}
  std::string program_;
};

}  // namespace qvn::pack
