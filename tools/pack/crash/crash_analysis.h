#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/pack/crash/crash_report_file.h"
#include "tools/pack/crash/llvm_symbolizer.h"
#include "tools/pack/crash/minidump_reader.h"
#include "tools/pack/crash/module_images.h"
#include "tools/pack/crash/stack_walk.h"

namespace qvn::pack {

// One frame of the crashing thread, named as far as the images and debug
// information allow.
struct NamedFrame {
  StackFrame frame;
  std::string module;                   // the module's file name; empty for an address in none
  std::uint64_t rva = 0;                // from the module's base, or the address itself
  std::string function;                 // empty when unknown
  std::optional<std::uint64_t> offset;  // from the function's start
  std::string file;
  std::uint32_t line = 0;
};

struct ModuleSummary {
  std::string name;
  ImageMatch match = ImageMatch::kNoImage;
  std::string note;
  std::optional<FourPartVersion> fileVersion;
};

struct CrashAnalysis {
  std::optional<DumpException> exception;
  std::string exceptionText;
  std::optional<std::uint32_t> threadId;
  std::optional<FourPartVersion> gameVersion;  // Quorvane.exe's file version, from the dump
  std::optional<CrashReportFile> report;
  std::vector<ModuleSummary> modules;
  std::vector<NamedFrame> frames;
  std::string stopReason;
  std::vector<std::string> notes;  // what limited the analysis, each said once
};

// Where the game's images and debug information come from.
struct CodeSources {
  std::vector<CandidateImage> candidates;
  std::string sourceName;  // "the launcher" or "the game folder", for messages
  std::vector<std::filesystem::path> symbolFolders;
  std::optional<LlvmSymbolizer> symbolizer;
  std::filesystem::path scratch;  // where images without a file are written for the symbolizer
};

// The crashing thread's stack from the dump's exception context, each frame
// named.
CrashAnalysis AnalyzeDump(const Minidump& dump, CodeSources sources);

// Only the first frame, from crash-last.txt's fault_module and
// module_offset: for a dump that is missing or damaged.
CrashAnalysis AnalyzeReportAlone(const CrashReportFile& report, CodeSources sources);

}  // namespace qvn::pack
