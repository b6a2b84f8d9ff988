#include "tools/pack/packing/pack_refusal.h"

#include <utility>

namespace qvn::pack {
namespace {

std::string JoinProblems(const std::vector<PackProblem>& problems) {
  std::string text = std::to_string(problems.size()) + (problems.size() == 1 ? " problem" : " problems");
  for (const PackProblem& problem : problems) {
    text += "\n  " + DescribeProblem(problem);
  }
  return text;
}

}  // namespace

PackRefused::PackRefused(std::vector<PackProblem> problems)
    : Error(JoinProblems(problems)), problems_(std::move(problems)) {}

std::string DescribeProblem(const PackProblem& problem) {
  return problem.path.empty() ? problem.reason : problem.path + ": " + problem.reason;
}

}  // namespace qvn::pack
