#include "tools/pack/examine/payload_extraction.h"

#include <fstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/utf8_path.h"
#include "payload/entry_check.h"
#include "payload/payload_manifest.h"
#include "tools/pack/examine/payload_source.h"
#include "tools/pack/examine/payload_verification.h"
#include "tools/pack/examine/stored_name.h"
#include "tools/pack/packing/worker_pool.h"

namespace qvn::pack {
namespace {

namespace fs = std::filesystem;

// The path of a stored name below `root`, one component per "/"-separated
// part; a part that could climb out is refused, though the parser already
// refused such names.
fs::path PathBelow(const fs::path& root, const std::string& storedName) {
  fs::path path = root;
  for (std::size_t start = 0; start <= storedName.size();) {
    const std::size_t end = std::min(storedName.find('/', start), storedName.size());
    const std::string part = storedName.substr(start, end - start);
    if (part.empty() || part == "." || part == "..")
      throw ExtractionRefused(storedName + ": not a plain relative name");
    path /= part;
    start = end + 1;
  }
  return path;
}

void CheckTarget(const fs::path& root) {
  if (!fs::exists(fs::symlink_status(root))) return;
  if (!fs::is_directory(fs::symlink_status(root)) || !fs::is_empty(root)) {
    throw ExtractionRefused(PathText(root) + " exists and is not an empty folder");
  }
}

// Verification kept no expanded bytes (a whole game would not fit), so each
// entry is expanded again, through the same check, as it is written.
void WriteEntries(const PayloadManifest& manifest, const std::vector<fs::path>& targets) {
  PortableStreamDecoder decoder;
  for (std::size_t i = 0; i < manifest.size(); ++i) {
    std::vector<std::uint8_t> expanded(manifest[i].expandedSize);
    CheckEntryContents(manifest[i], expanded, decoder);
    fs::create_directories(targets[i].parent_path());
    std::ofstream stream(targets[i], std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(expanded.data()), static_cast<std::streamsize>(expanded.size()));
    stream.close();
    if (!stream) throw Error("cannot write " + PathText(targets[i]));
  }
}

void RemoveWritten(const fs::path& root, bool made) {
  std::error_code ignored;
  if (made) {
    fs::remove_all(root, ignored);
    return;
  }
  std::vector<fs::path> written;
  for (const fs::directory_entry& entry : fs::directory_iterator(root, ignored)) written.push_back(entry.path());
  for (const fs::path& path : written) fs::remove_all(path, ignored);
}

}  // namespace

std::size_t ExtractPayloadFiles(std::span<const std::uint8_t> file, const fs::path& root) {
  const VerificationReport report = VerifyPayloadFile(file, MachineThreadCount());
  if (!report.passed()) {
    std::string text = "damaged, nothing written:";
    for (const VerificationFailure& failure : report.failures) text += "\n  " + failure.text;
    throw ExtractionRefused(text, report.failures);
  }
  CheckTarget(root);
  const PayloadManifest manifest = ParsePayloadManifest(LocatePayload(file).payload);
  std::vector<fs::path> targets;
  for (const PayloadEntry& entry : manifest) targets.push_back(PathBelow(root, StoredName(entry)));

  const bool made = !fs::exists(fs::symlink_status(root));
  fs::create_directories(root);
  try {
    WriteEntries(manifest, targets);
  } catch (...) {
    // A failed write (a full disk) leaves nothing half extracted: all below
    // `root` is ours, for it was empty or absent.
    RemoveWritten(root, made);
    throw;
  }
  return manifest.size();
}

}  // namespace qvn::pack
