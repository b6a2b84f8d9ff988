#include "tools/pack/packing/pack_rules.h"

#include <algorithm>
#include <map>
#include <set>
#include <span>
#include <string>
#include <utility>

#include "payload/payload_contract.h"
#include "payload/payload_fault.h"
#include "payload/payload_path.h"

namespace qvn::pack {
namespace {

// The launcher's own message for a name it refuses, with what it means for
// someone naming files.
std::string ExplainNameFault(PayloadFault fault, std::size_t nameLength) {
  std::string message(PayloadFaultMessage(fault));
  switch (fault) {
    case PayloadFault::kNameLength:
      return message + ": the name is " + std::to_string(nameLength) + " bytes, at most " +
             std::to_string(kMaxNameBytes) + " are allowed";
    case PayloadFault::kUnsafeNameByte:
      return message + ": only A-Z, a-z, 0-9, '_', '-' and '.' are allowed in names";
    case PayloadFault::kUnsafePathComponent:
      // The last component is the file; the ones before it are folders.
      return message + ": a name may not end in '.', be '.' or '..', or lie more than " +
             std::to_string(kMaxPathComponents - 1) + " folders deep";
    case PayloadFault::kDeviceName:
      return message + ": CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 name devices, with any extension";
    default:
      return message;
  }
}

void CheckNameRules(const std::string& name, std::vector<PackProblem>& problems) {
  try {
    ValidatePayloadPath(std::span(reinterpret_cast<const std::uint8_t*>(name.data()), name.size()));
  } catch (const PayloadError& error) {
    problems.push_back({name, ExplainNameFault(error.fault(), name.size())});
  }
}

void CheckWholeInput(const std::vector<PackFileInfo>& files, std::vector<PackProblem>& problems) {
  if (files.empty()) {
    problems.push_back({"", "the game folder holds no files"});
  } else if (files.size() > kMaxFileCount) {
    problems.push_back(
        {"", std::to_string(files.size()) + " files; a payload holds at most " + std::to_string(kMaxFileCount)});
  }
  std::uint64_t total = 0;
  for (const PackFileInfo& file : files) total += file.size;
  if (total > kMaxExpandedTotal) {
    problems.push_back({"", std::to_string(total) + " bytes in all; a payload expands to at most " +
                                std::to_string(kMaxExpandedTotal)});
  }
  const bool hasMain = std::any_of(files.begin(), files.end(), [](const PackFileInfo& file) {
    return file.storedName == kMainExecutableName.narrow();
  });
  if (!hasMain) {
    problems.push_back({std::string(kMainExecutableName.narrow()),
                        "missing: the game's main executable must be in the folder root under exactly this name"});
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
      problems.push_back({name, std::to_string(file.size) + " bytes; one file may hold at most " +
                                    std::to_string(kMaxExpandedFileSize)});
    }
    if (IsReservedStatePath(key)) {
      problems.push_back({name, "reserved for the launcher's own state (" +
                                    std::string(kReservedStateFileName.narrow()) + " and " +
                                    std::string(kDataFolderName.narrow()) + "/ at the root)"});
    }
    const std::vector<std::string>& sameKey = namesByKey[key];
    if (std::count(sameKey.begin(), sameKey.end(), name) > 1) problems.push_back({name, "given more than once"});
    for (const std::string& other : sameKey) {
      if (other != name) problems.push_back({name, "differs only in letter case from " + other});
    }
    // Every folder on the way must not also be a file, whatever its case.
    for (std::size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
      const auto clash = namesByKey.find(key.substr(0, slash));
      if (clash != namesByKey.end()) {
        problems.push_back({name, "needs a folder where the file " + clash->second.front() + " is"});
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
