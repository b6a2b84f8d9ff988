#include "tools/pack/packing/pack_rules.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "payload/payload_contract.h"
#include "payload/payload_fault.h"
#include "payload/payload_path.h"

namespace qvn::pack {
namespace {

constexpr char kAdmittedBytes[] = "only A-Z, a-z, 0-9, '_', '-' and '.' are allowed";

// The name's components, as the launcher splits it.
std::vector<std::string_view> Components(std::string_view name) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t slash = name.find('/', start);
    parts.push_back(name.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
    if (slash == std::string_view::npos) return parts;
    start = slash + 1;
  }
}

// The first character the name rules do not admit: a whole UTF-8
// sequence, so that "ü" shows as itself, or a byte in hex when the name is
// not UTF-8 there.
std::string FirstRefusedCharacter(std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<std::uint8_t>(name[i]);
    if (IsAdmittedNameByte(byte)) continue;
    if (byte == ' ') return "' ' (a space)";
    std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    bool sequence = byte >= 0xC0 && byte < 0xF8 && i + length <= name.size();
    for (std::size_t k = 1; sequence && k < length; ++k) sequence = (name[i + k] & 0xC0) == 0x80;
    if (byte >= 0x20 && byte < 0x7F) return "'" + std::string(1, name[i]) + "'";
    if (sequence) return "'" + std::string(name.substr(i, length)) + "'";
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", byte);
    return std::string("the byte ") + hex;
  }
  return "a character";
}

// Which part of the component rules a name breaks, in the launcher's order.
std::string ExplainComponentFault(std::string_view name) {
  const std::vector<std::string_view> components = Components(name);
  for (std::size_t i = 0; i < components.size(); ++i) {
    const std::string_view component = components[i];
    if (IsUnsafePathComponent(component)) {
      if (component.empty()) return "an empty folder name (two '/' in a row, or one at an end)";
      if (component == "." || component == "..") return "'" + std::string(component) + "' is not a name";
      return "'" + std::string(component) + "' ends in '.', which Windows would drop";
    }
    if (static_cast<int>(i) + 1 > kMaxPathComponents) break;
  }
  return std::to_string(components.size() - 1) + " folders deep, at most " + std::to_string(kMaxPathComponents - 1);
}

std::string ExplainDeviceName(std::string_view name) {
  for (const std::string_view component : Components(name)) {
    if (IsReservedDeviceName(component)) {
      return "'" + std::string(component.substr(0, component.find('.'))) +
             "' names a Windows device, whatever the extension or letter case";
    }
  }
  return "it names a Windows device";
}

// The launcher's own message for a name it refuses, with which character
// or which rule it is, for someone naming files.
std::string ExplainNameFault(PayloadFault fault, std::string_view name) {
  std::string message(PayloadFaultMessage(fault));
  switch (fault) {
    case PayloadFault::kNameLength:
      return message + ": the name is " + std::to_string(name.size()) + " bytes, at most " +
             std::to_string(kMaxNameBytes) + " are allowed";
    case PayloadFault::kUnsafeNameByte:
      return message + ": " + FirstRefusedCharacter(name) + " is not allowed; " + kAdmittedBytes + " in names";
    case PayloadFault::kUnsafePathComponent:
      return message + ": " + ExplainComponentFault(name);
    case PayloadFault::kDeviceName:
      return message + ": " + ExplainDeviceName(name);
    default:
      return message;
  }
}

// A number of bytes with its size in MiB where that is whole, as the
// format's limits are.
std::string Bytes(std::uint64_t count) {
  std::string text = std::to_string(count) + " bytes";
  if (count % (1u << 20) == 0) text += " (" + std::to_string(count >> 20) + " MiB)";
  return text;
}

void CheckNameRules(const std::string& name, std::vector<PackProblem>& problems) {
  try {
    ValidatePayloadPath(std::span(reinterpret_cast<const std::uint8_t*>(name.data()), name.size()));
  } catch (const PayloadError& error) {
    problems.push_back({name, ExplainNameFault(error.fault(), name), error.fault()});
  }
}

void CheckWholeInput(const std::vector<PackFileInfo>& files, std::vector<PackProblem>& problems) {
  if (files.empty()) {
    problems.push_back({"", "the game folder holds no files"});
  } else if (files.size() > kMaxFileCount) {
    problems.push_back({"",
                        std::to_string(files.size()) + " files; the payload format holds at most " +
                            std::to_string(kMaxFileCount) + " files",
                        PayloadFault::kInvalidFileCount});
  }
  std::uint64_t total = 0;
  for (const PackFileInfo& file : files) total += file.size;
  if (total > kMaxExpandedTotal) {
    problems.push_back(
        {"", std::to_string(total) + " bytes in all; the payload format holds at most " + Bytes(kMaxExpandedTotal),
         PayloadFault::kExpandedSizeLimit});
  }
  const bool hasMain = std::any_of(files.begin(), files.end(), [](const PackFileInfo& file) {
    return file.storedName == kMainExecutableName.narrow();
  });
  if (!hasMain) {
    std::string reason = "missing: the game's main executable must be in the folder root under exactly this name";
    const std::string key = FoldAsciiCase(kMainExecutableName.narrow());
    for (const PackFileInfo& file : files) {
      if (FoldAsciiCase(file.storedName) == key) {
        reason += "; " + file.storedName + " is there in another letter case: rename it to " +
                  std::string(kMainExecutableName.narrow());
      }
    }
    problems.push_back({std::string(kMainExecutableName.narrow()), reason});
  }
}

// A name given twice yields the same problems twice; each is shown once.
std::vector<PackProblem> WithoutRepeats(std::vector<PackProblem> problems) {
  std::set<std::pair<std::string, std::string>> seen;
  std::erase_if(problems, [&seen](const PackProblem& problem) {
    return !seen.insert({problem.path, problem.reason}).second;
  });
  return problems;
}

}  // namespace

std::vector<PackProblem> FindPackProblems(const std::vector<PackFileInfo>& files) {
  std::vector<PackProblem> problems;
  CheckWholeInput(files, problems);

  std::vector<PackFileInfo> sorted = files;
  std::sort(sorted.begin(), sorted.end(),
            [](const PackFileInfo& a, const PackFileInfo& b) { return a.storedName < b.storedName; });

  std::map<std::string, std::vector<std::string>> namesByKey;
  for (const PackFileInfo& file : sorted) namesByKey[FoldAsciiCase(file.storedName)].push_back(file.storedName);

  for (const PackFileInfo& file : sorted) {
    const std::string& name = file.storedName;
    const std::string key = FoldAsciiCase(name);
    CheckNameRules(name, problems);
    if (file.size > kMaxExpandedFileSize) {
      problems.push_back({name,
                          std::to_string(file.size) + " bytes; the payload format holds at most " +
                              Bytes(kMaxExpandedFileSize) + " in one file",
                          PayloadFault::kExpandedSizeLimit});
    }
    if (IsReservedStatePath(key)) {
      problems.push_back({name,
                          "reserved for the launcher's own state (" + std::string(kReservedStateFileName.narrow()) +
                              " and " + std::string(kDataFolderName.narrow()) + "/ at the root)",
                          PayloadFault::kReservedStatePath});
    }
    const std::vector<std::string>& sameKey = namesByKey[key];
    if (std::count(sameKey.begin(), sameKey.end(), name) > 1) {
      problems.push_back({name, "given more than once", PayloadFault::kConflictingPaths});
    }
    for (const std::string& other : sameKey) {
      if (other != name) {
        problems.push_back({name, "differs only in letter case from " + other, PayloadFault::kConflictingPaths});
      }
    }
    // Every folder on the way must not also be a file, whatever its case.
    for (std::size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
      const auto clash = namesByKey.find(key.substr(0, slash));
      if (clash != namesByKey.end()) {
        problems.push_back(
            {name, "needs a folder where the file " + clash->second.front() + " is", PayloadFault::kConflictingPaths});
      }
    }
  }
  return WithoutRepeats(std::move(problems));
}

PackableFiles CheckPackFiles(std::vector<PackFileInfo> files, std::vector<PackProblem> foundBefore) {
  std::vector<PackProblem> problems = std::move(foundBefore);
  for (PackProblem& problem : FindPackProblems(files)) problems.push_back(std::move(problem));
  if (!problems.empty()) {
    std::stable_sort(problems.begin(), problems.end(),
                     [](const PackProblem& a, const PackProblem& b) { return a.path < b.path; });
    throw PackRefused(std::move(problems));
  }
  return PackableFiles(std::move(files));
}

}  // namespace qvn::pack
