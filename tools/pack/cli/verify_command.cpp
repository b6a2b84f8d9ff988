#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "base/utf8_path.h"
#include "payload/payload_contract.h"
#include "tools/pack/cli/counted.h"
#include "tools/pack/cli/examined_file.h"
#include "tools/pack/cli/path_option.h"
#include "tools/pack/cli/progress_bar.h"
#include "tools/pack/cli/report_fields.h"
#include "tools/pack/cli/subcommand.h"
#include "tools/pack/cli/verb_report.h"
#include "tools/pack/examine/payload_source.h"
#include "tools/pack/examine/payload_verification.h"
#include "tools/pack/image/launcher_details.h"
#include "tools/pack/packing/worker_pool.h"

namespace qvn::pack {
namespace {

struct VerifyOptions {
  std::filesystem::path file;
  bool json = false;
};

std::string FileType(const VerificationReport& report) {
  if (!report.fromExecutable) return "payload";
  return report.payloadFound ? "launcher" : "executable";
}

int Verify(const VerifyOptions& options) {
  const VerbReport verb("verify", options.json);
  const std::string file = PathText(options.file);
  try {
    const std::vector<std::uint8_t> bytes = ReadExaminedFile(options.file);
    VerificationReport report;
    {
      ProgressBar bar("verifying");
      report = VerifyPayloadFile(bytes, MachineThreadCount(),
                                 [&bar](std::uint64_t done, std::uint64_t total) { bar.Update(done, total); });
    }
    const std::string what = FileType(report);
    nlohmann::json fields = {{"file", file},
                             {"type", what},
                             {"verdict", report.passed() ? "ok" : "failed"},
                             {"fileCount", report.fileCount},
                             {"expandedSize", report.expandedTotal}};
    if (report.payloadFound) fields["payload"] = PayloadFields(LocatePayload(bytes).payload);
    LauncherDetails details;
    if (report.fromExecutable) {
      details = ReadLauncherDetails(bytes);
      fields["launcher"] = LauncherFields(details);
    }
    if (!report.passed()) {
      std::string human = what + " " + file + ": FAILED\n";
      for (const VerificationFailure& failure : report.failures) human += "  " + failure.text + "\n";
      return verb.FailCheck(fields, human, VerificationFault(file + ": FAILED", report.failures));
    }
    std::string human =
        what + " " + file + ": OK, " + Counted(report.fileCount, "file") + ", " + std::to_string(report.expandedTotal) +
        " bytes, every stream decodes and every digest matches" +
        (report.fromExecutable ? ", payload digest matches resource " + std::to_string(kPayloadDigestResourceId) : "") +
        "\n";
    if (report.fromExecutable) human += DescribeLauncherDetails(details);
    return verb.Succeed(fields, human);
  } catch (const std::exception&) {
    return verb.Refuse(CurrentFault(file));
  }
}

}  // namespace

Subcommand AddVerifyCommand(CLI::App& app) {
  const auto options = std::make_shared<VerifyOptions>();
  CLI::App* command =
      app.add_subcommand("verify", "Check a payload or launcher executable as the launcher would, and decode it all");
  AddPathOption(*command, "FILE", options->file, "Payload or launcher executable")->required();
  AddJsonFlag(*command, options->json);
  return {command, [options] { return Verify(*options); }};
}

}  // namespace qvn::pack
