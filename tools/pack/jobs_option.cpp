#include "tools/pack/jobs_option.h"

namespace qvn::pack {
namespace {

// Far more than any machine's cores; each job holds up to two 64 MiB chunks.
constexpr unsigned kMaxJobs = 1024;

}  // namespace

void AddJobsOption(CLI::App& command, unsigned& jobs) {
  command.add_option("--jobs", jobs, "Files and 64 MiB chunks compressed at once (default: one per core)")
      ->check(CLI::Range(1u, kMaxJobs));
}

}  // namespace qvn::pack
