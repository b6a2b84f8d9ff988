#include "tools/pack/cli/jobs_option.h"

namespace qvn::pack {
namespace {

// Far more than any machine's cores; each job holds an encoder and an
// 8 MiB window, about 15 MiB.
constexpr unsigned kMaxJobs = 1024;

}  // namespace

void AddJobsOption(CLI::App& command, unsigned& jobs) {
  command.add_option("--jobs", jobs, "8 MiB pieces of files, or bunches of small files, compressed at once (default: one per core)")
      ->check(CLI::Range(1u, kMaxJobs));
}

}  // namespace qvn::pack
