#include "tools/pack/cli/pack_commands.h"

#include <cstdio>
#include <exception>
#include <functional>
#include <iostream>
#include <string>

#include "base/error.h"
#include "payload/payload_contract.h"
#include "payload/payload_manifest.h"
#include "tools/pack/output/file_bytes.h"
#include "tools/pack/build/game_folder.h"
#include "tools/pack/image/launcher_details.h"
#include "tools/pack/output/output_file.h"
#include "tools/pack/build/pack_refusal.h"
#include "tools/pack/inspect/payload_listing.h"
#include "tools/pack/inspect/payload_source.h"
#include "tools/pack/inspect/payload_verification.h"
#include "tools/pack/cli/progress_bar.h"
#include "base/sha256.h"
#include "base/utf8_path.h"

namespace qvn::pack {
namespace {

std::string Hex(const Sha256& hash) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t byte : hash) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

std::string Percent(std::uint64_t part, std::uint64_t whole) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole));
  return text;
}

int Fail(const std::string& message) {
  std::cerr << "qvn_pack: " << message << "\n";
  return kExitRefused;
}

void WarnAboutEmptyFolders(const GameFolderScan& scan) {
  for (const std::string& folder : scan.emptyFolders) {
    std::cerr << "qvn_pack: warning: " << folder << ": empty folder left out; a payload stores only files\n";
  }
}

int Build(const BuildCommand& command) {
  std::filesystem::path digestOut = command.out;
  digestOut += ".digest";
  if (command.digestOut) digestOut = *command.digestOut;
  // Written as it is made; only a finished payload takes the name.
  OutputFile payloadFile(command.out);
  const PackedGame packed =
      PackScannedGame(ScanGameFolder(command.gameDir), command,
                      [&payloadFile](std::span<const std::uint8_t> bytes) { payloadFile.Write(bytes); });
  payloadFile.Commit();
  const Sha256& digest = packed.payload.digest;
  WriteFileBytes(digestOut, digest);

  std::cout << DescribePacking(packed) << "payload: " << PathText(command.out) << "\n"
            << "sha256:  " << Hex(digest) << " (32 bytes in " << PathText(digestOut) << ")\n";
  return kExitSuccess;
}

}  // namespace

PackedGame PackScannedGame(const GameFolderScan& scan, const BuildCommand& command, const PayloadOutput& output) {
  WarnAboutEmptyFolders(scan);
  PackedGame packed;
  {
    ProgressBar bar("packing");
    packed.payload = WriteGameFolderPayload(
        scan, command.level, [&bar](std::uint64_t done, std::uint64_t total) { bar.Update(done, total); },
        command.jobs, output);
  }
  packed.fileCount = scan.files.size();
  packed.expandedSize = ExpandedSize(scan);
  return packed;
}

std::string DescribePacking(const PackedGame& packed) {
  return "packed " + std::to_string(packed.fileCount) + " files, " + std::to_string(packed.expandedSize) +
         " bytes, into " + std::to_string(packed.payload.size) + " bytes (" +
         Percent(packed.payload.size, packed.expandedSize) + ")\n";
}

int RunRefusable(const std::filesystem::path& gameDir, const std::function<int()>& command) {
  try {
    return command();
  } catch (const PackRefused& refusal) {
    return Fail("refused " + PathText(gameDir) + ", nothing written: " + refusal.what());
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
}

int RunBuild(const BuildCommand& command) {
  return RunRefusable(command.gameDir, [&command] { return Build(command); });
}

int RunList(const std::filesystem::path& file) {
  try {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(file);
    const PayloadSource source = LocatePayload(bytes);
    std::cout << FormatPayloadListing(ParsePayloadManifest(source.payload));
    if (source.fromExecutable) std::cout << DescribeLauncherDetails(bytes);
    return kExitSuccess;
  } catch (const std::exception& error) {
    return Fail(PathText(file) + ": " + error.what());
  }
}

int RunVerify(const std::filesystem::path& file) {
  try {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(file);
    VerificationReport report;
    {
      ProgressBar bar("verifying");
      report = VerifyPayloadFile(bytes, [&bar](std::uint64_t done, std::uint64_t total) { bar.Update(done, total); });
    }
    const std::string what = report.fromExecutable ? "launcher " : "payload ";
    if (!report.passed()) {
      std::cout << what << PathText(file) << ": FAILED\n";
      for (const std::string& failure : report.failures) std::cout << "  " << failure << "\n";
      return kExitRefused;
    }
    std::cout << what << PathText(file) << ": OK, " << report.fileCount << " files, " << report.expandedTotal
              << " bytes, every stream decodes and every digest matches"
              << (report.fromExecutable ? ", payload digest matches resource " + std::to_string(kPayloadDigestResourceId) : "")
              << "\n";
    if (report.fromExecutable) std::cout << DescribeLauncherDetails(bytes);
    return kExitSuccess;
  } catch (const std::exception& error) {
    return Fail(PathText(file) + ": " + error.what());
  }
}

}  // namespace qvn::pack
