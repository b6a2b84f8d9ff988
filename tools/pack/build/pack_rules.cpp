#include "tools/pack/build/pack_rules.h"

#include <algorithm>
#include <map>
#include <set>
#include <span>
#include <string>
#include <utility>

#include "base/error.h"
#include "payload/payload_path.h"

namespace qvn::pack {
namespace {

std::string FoldAsciiCase(const std::string& name) {
  std::string key = name;
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

// The launcher's own message, with what it means for someone naming files.
std::string ExplainNameRule(const std::string& launcherMessage, std::size_t nameLength) {
  if (launcherMessage == "Invalid portable filename length") {
    return launcherMessage + ": the name is " + std::to_string(nameLength) + " bytes, at most 200 are allowed";
  }
  if (launcherMessage == "Unsafe portable filename") {
    return launcherMessage + ": only A-Z, a-z, 0-9, '_', '-' and '.' are allowed in names";
  }
  if (launcherMessage == "Unsafe portable path component") {
    return launcherMessage + ": a name may not end in '.', be '.' or '..', or lie more than 7 folders deep";
  }
  if (launcherMessage == "Reserved Windows device filename in portable payload") {
    return launcherMessage + ": CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 name devices, with any extension";
  }
  return launcherMessage;
}

void CheckNameRules(const std::string& name, std::vector<PackProblem>& problems) {
  try {
    ValidatePayloadPath(std::span(reinterpret_cast<const std::uint8_t*>(name.data()), name.size()));
  } catch (const Error& error) {
    problems.push_back({name, ExplainNameRule(error.what(), name.size())});
  }
}

bool IsReservedStateName(const std::string& key) {
  return key == "portable.txt" || key.starts_with("data/");
}

void CheckWholeInput(const std::vector<PackFileInfo>& files, std::vector<PackProblem>& problems) {
  if (files.empty()) {
    problems.push_back({"", "the game folder holds no files"});
  } else if (files.size() > kMaxFileCount) {
    problems.push_back({"", std::to_string(files.size()) + " files; a payload holds at most 512"});
  }
  std::uint64_t total = 0;
  for (const PackFileInfo& file : files) total += file.size;
  if (total > kMaxExpandedTotal) {
    problems.push_back({"", std::to_string(total) + " bytes in all; a payload expands to at most " +
                                std::to_string(kMaxExpandedTotal)});
  }
  const bool hasMain = std::any_of(files.begin(), files.end(),
                                   [](const PackFileInfo& file) { return file.storedName == kMainExecutableName; });
  if (!hasMain) {
    problems.push_back({std::string(kMainExecutableName),
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
    if (file.size > kMaxFileSize) {
      problems.push_back({name, std::to_string(file.size) + " bytes; one file may hold at most " +
                                    std::to_string(kMaxFileSize)});
    }
    if (IsReservedStateName(key)) {
      problems.push_back({name, "reserved for the launcher's own state (portable.txt and data/ at the root)"});
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
