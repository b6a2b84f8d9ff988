#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <memory>
#include <string>

#include "base/utf8_path.h"
#include "payload/payload_contract.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/cli/counted.h"
#include "tools/pack/cli/examined_file.h"
#include "tools/pack/cli/exit_status.h"
#include "tools/pack/cli/game_packing.h"
#include "tools/pack/cli/path_option.h"
#include "tools/pack/cli/progress_bar.h"
#include "tools/pack/cli/subcommand.h"
#include "tools/pack/examine/payload_verification.h"
#include "tools/pack/image/launcher_details.h"

namespace qvn::pack {
namespace {

int Verify(const std::filesystem::path& file) {
  try {
    const std::vector<std::uint8_t> bytes = ReadExaminedFile(file);
    VerificationReport report;
    {
      ProgressBar bar("verifying");
      report = VerifyPayloadFile(bytes, [&bar](std::uint64_t done, std::uint64_t total) { bar.Update(done, total); });
    }
    const std::string what =
        !report.fromExecutable ? "payload " : (report.payloadFound ? "launcher " : "executable ");
    if (!report.passed()) {
      std::cout << what << PathText(file) << ": FAILED\n";
      for (const std::string& failure : report.failures) std::cout << "  " << failure << "\n";
      return kExitRefused;
    }
    std::cout << what << PathText(file) << ": OK, " << Counted(report.fileCount, "file") << ", " << report.expandedTotal
              << " bytes, every stream decodes and every digest matches"
              << (report.fromExecutable
                      ? ", payload digest matches resource " + std::to_string(kPayloadDigestResourceId)
                      : "")
              << "\n";
    if (report.fromExecutable) std::cout << DescribeLauncherDetails(bytes);
    return kExitSuccess;
  } catch (const std::exception& error) {
    return Fail(PathText(file) + ": " + error.what());
  }
}

}  // namespace

Subcommand AddVerifyCommand(CLI::App& app) {
  const auto file = std::make_shared<std::filesystem::path>();
  CLI::App* command =
      app.add_subcommand("verify", "Check a payload or launcher executable as the launcher would, and decode it all");
  AddPathOption(*command, "FILE", *file, "Payload or launcher executable")->required();
  return {command, [file] { return Verify(*file); }};
}

}  // namespace qvn::pack
