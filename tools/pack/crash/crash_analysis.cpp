#include "tools/pack/crash/crash_analysis.h"

#include <cctype>
#include <cstdlib>
#include <cxxabi.h>
#include <fstream>
#include <map>
#include <memory>

#include "base/utf8_path.h"
#include "payload/payload_contract.h"
#include "tools/pack/crash/exception_description.h"
#include "tools/pack/image/pe_function_table.h"

namespace qvn::pack {
namespace {

namespace fs = std::filesystem;

std::string Demangled(const std::string& name) {
  if (!name.starts_with("_Z")) return name;
  int status = 0;
  const std::unique_ptr<char, decltype(&std::free)> text(abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status),
                                                         &std::free);
  return status == 0 && text ? std::string(text.get()) : name;
}

// What names a module's frames: its image's tables, and a file that the
// symbolizer can read debug information from.
struct ModuleNaming {
  const ModuleImage* entry = nullptr;
  std::optional<fs::path> debugFile;
  std::vector<std::size_t> frames;  // indices of its frames
};

fs::path WriteImageCopy(const CodeSources& sources, const ModuleImage& entry) {
  fs::path copy = sources.scratch / Utf8Path(entry.module->FileName());
  std::ofstream out(copy, std::ios::binary | std::ios::trunc);
  const std::span<const std::uint8_t> bytes = entry.image->bytes();
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return copy;
}

// The file to give the symbolizer for a matched module: from a --symbols
// folder an unstripped copy or NAME.debug, or the image with its PDB beside
// it (where the symbolizer looks for one); else the image's own file, or a
// copy of it written into the scratch folder.
fs::path DebugFileFor(const CodeSources& sources, const ModuleImage& entry) {
  const std::string name = entry.module->FileName();
  for (const fs::path& folder : sources.symbolFolders) {
    for (const fs::path& candidate : {folder / Utf8Path(name), folder / Utf8Path(name + ".debug")}) {
      if (fs::is_regular_file(candidate)) return candidate;
    }
    const fs::path pdb = folder / Utf8Path(name).stem().concat(".pdb");
    if (fs::is_regular_file(pdb)) {
      fs::copy_file(pdb, sources.scratch / pdb.filename(), fs::copy_options::overwrite_existing);
      return WriteImageCopy(sources, entry);
    }
  }
  return entry.onDisk ? *entry.onDisk : WriteImageCopy(sources, entry);
}

// The table symbol and pdata entry for one frame.
void NameFromImage(const ModuleImage& entry, std::uint32_t lookup, NamedFrame& named) {
  std::optional<std::uint32_t> start;
  try {
    if (const std::optional<RuntimeFunction> function = FindRuntimeFunction(*entry.image, lookup)) {
      start = function->begin;
    }
  } catch (const PeFormatError&) {
  }
  const PeSymbol* symbol = SymbolAtOrBelow(entry.symbols, lookup);
  // A symbol below the function's start names some other function.
  if (symbol != nullptr && start && symbol->rva < *start) symbol = nullptr;
  if (symbol != nullptr) {
    named.function = Demangled(symbol->name);
    // A symbol inside a table entry's range marks a function the table does
    // not cover itself (hand-written assembly beside compiled code).
    if (!start || symbol->rva > *start) start = symbol->rva;
  }
  if (start) named.offset = named.rva - *start;
}

void NameFrames(const std::vector<ModuleImage>& images, CodeSources& sources, CrashAnalysis& analysis) {
  std::map<const ModuleImage*, ModuleNaming> byModule;
  for (std::size_t i = 0; i < analysis.frames.size(); ++i) {
    NamedFrame& named = analysis.frames[i];
    const ModuleImage* entry = ImageAt(images, named.frame.pc);
    if (entry == nullptr) {
      named.rva = named.frame.pc;
      continue;
    }
    named.module = entry->module->FileName();
    named.rva = named.frame.pc - entry->module->base;
    if (!entry->image) continue;
    // A return address names the instruction after the call: the call
    // itself is one byte before it.
    const auto lookup =
        static_cast<std::uint32_t>(named.frame.trust == FrameTrust::kContext ? named.rva : named.rva - 1);
    NameFromImage(*entry, lookup, named);
    ModuleNaming& naming = byModule[entry];
    naming.entry = entry;
    naming.frames.push_back(i);
  }
  if (!sources.symbolizer) {
    if (!byModule.empty()) {
      analysis.notes.push_back(
          "llvm-symbolizer was not found on PATH (Debian package llvm), so frames carry no source file and line, "
          "and functions are named from the images' export and COFF symbol tables only");
    }
    return;
  }
  for (auto& [entry, naming] : byModule) {
    std::vector<std::uint32_t> lookups;
    for (const std::size_t i : naming.frames) {
      const NamedFrame& named = analysis.frames[i];
      lookups.push_back(
          static_cast<std::uint32_t>(named.frame.trust == FrameTrust::kContext ? named.rva : named.rva - 1));
    }
    const std::vector<std::optional<SourceLocation>> locations =
        sources.symbolizer->Locate(DebugFileFor(sources, *entry), lookups);
    for (std::size_t k = 0; k < naming.frames.size(); ++k) {
      if (!locations[k]) continue;
      NamedFrame& named = analysis.frames[naming.frames[k]];
      // A local label (".l_start") says less than the symbol table's name.
      if (named.function.empty() || !locations[k]->function.starts_with(".")) named.function = locations[k]->function;
      named.file = locations[k]->file;
      named.line = locations[k]->line;
      const std::uint64_t imageBase = entry->image->headers().imageBase;
      if (!named.offset && locations[k]->functionStart && *locations[k]->functionStart >= imageBase) {
        named.offset = named.rva - (*locations[k]->functionStart - imageBase);
      }
    }
  }
}

std::vector<ModuleSummary> Summaries(const std::vector<ModuleImage>& images) {
  std::vector<ModuleSummary> summaries;
  summaries.reserve(images.size());
  for (const ModuleImage& entry : images) {
    summaries.push_back({entry.module->FileName(), entry.match, entry.note, entry.module->fileVersion});
  }
  return summaries;
}

// Module names compare as Windows compares file names, ignoring case.
bool SameFileName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

bool IsMainExecutable(const std::string& name) { return SameFileName(name, kMainExecutableName.narrow()); }

}  // namespace

CrashAnalysis AnalyzeDump(const Minidump& dump, CodeSources sources) {
  CrashAnalysis analysis;
  const std::vector<ModuleImage> images = MatchModuleImages(dump, std::move(sources.candidates), sources.sourceName);
  analysis.modules = Summaries(images);
  for (const DumpModule& module : dump.modules) {
    if (IsMainExecutable(module.FileName())) analysis.gameVersion = module.fileVersion;
  }
  if (!dump.exception) {
    analysis.notes.push_back("the dump holds no exception, so there is no crashing thread to walk");
    return analysis;
  }
  analysis.exception = dump.exception;
  analysis.exceptionText = DescribeException(*dump.exception);
  analysis.threadId = dump.exception->threadId;
  const DumpThread* thread = dump.Thread(dump.exception->threadId);
  std::optional<X64Registers> context = dump.exception->context;
  if (!context && thread != nullptr) context = thread->context;
  if (thread == nullptr || !context) {
    analysis.notes.push_back("the dump holds no stack or context for the crashing thread");
    return analysis;
  }
  const StackWalk walk = WalkStack(dump, *thread, *context, images);
  for (const StackFrame& frame : walk.frames) {
    NamedFrame named;
    named.frame = frame;
    analysis.frames.push_back(named);
  }
  analysis.stopReason = walk.stopReason;
  NameFrames(images, sources, analysis);
  return analysis;
}

CrashAnalysis AnalyzeReportAlone(const CrashReportFile& report, CodeSources sources) {
  CrashAnalysis analysis;
  analysis.report = report;
  if (report.exceptionCode) {
    DumpException exception;
    exception.code = *report.exceptionCode;
    exception.address = report.exceptionAddress.value_or(0);
    analysis.exceptionText = DescribeException(exception);
  }
  if (report.faultModule.empty() || !report.moduleOffset) {
    analysis.notes.push_back("crash-last.txt names no module, so not even the first frame can be named");
    return analysis;
  }
  // A dump of one module, loaded at 0, stands in for the missing one; its
  // build cannot be checked, for the report has no TimeDateStamp.
  DumpModule module;
  module.sizeOfImage = UINT32_MAX;
  module.path = report.faultModule;
  const std::string name = report.FaultModuleName();
  for (const CandidateImage& candidate : sources.candidates) {
    const std::size_t slash = candidate.name.find_last_of('/');
    if (!SameFileName(slash == std::string::npos ? candidate.name : candidate.name.substr(slash + 1), name)) continue;
    try {
      const PeImageFile image{std::vector<std::uint8_t>(candidate.bytes)};
      module.sizeOfImage = image.headers().sizeOfImage;
      module.timeDateStamp = image.headers().timeDateStamp;
    } catch (const PeFormatError&) {
    }
    break;
  }
  Minidump stand;
  stand.modules.push_back(module);
  const std::vector<ModuleImage> images = MatchModuleImages(stand, std::move(sources.candidates), sources.sourceName);
  NamedFrame first;
  first.frame = {*report.moduleOffset, 0, FrameTrust::kContext};
  analysis.frames.push_back(first);
  analysis.stopReason = "only crash-last.txt was read: it names the first frame alone";
  NameFrames(images, sources, analysis);
  return analysis;
}

}  // namespace qvn::pack
