#include "tools/pack/packing/game_folder.h"

#include <algorithm>
#include <fstream>

#include "base/error.h"
#include "base/utf8_path.h"
#include "tools/pack/packing/pack_rules.h"

namespace qvn::pack {
namespace {

namespace fs = std::filesystem;

std::string StoredName(const fs::path& path, const fs::path& root) {
  const std::u8string name = path.lexically_relative(root).generic_u8string();
  return std::string(name.begin(), name.end());
}

// Reads the files of a scan a part at a time, each file's parts in order,
// through one open stream per file.
class FolderReader {
 public:
  explicit FolderReader(const std::vector<GameFolderFile>& files) : files_(files) {}

  void Read(std::size_t index, std::uint64_t offset, std::span<std::uint8_t> buffer) {
    const GameFolderFile& file = files_[index];
    if (offset == 0) {
      stream_ = std::ifstream(file.path, std::ios::binary);
    }
    stream_.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
    // A file that changed size since the walk would pack something other
    // than what was checked.
    const bool last = offset + buffer.size() == file.size;
    if (!stream_ || (last && stream_.peek() != std::ifstream::traits_type::eof())) {
      throw Error("cannot read " + file.storedName + " completely; did it change while packing?");
    }
  }

 private:
  const std::vector<GameFolderFile>& files_;
  std::ifstream stream_;
};

}  // namespace

GameFolderScan ScanGameFolder(const fs::path& root) {
  if (!fs::is_directory(root)) throw Error("not a folder: " + PathText(root));
  GameFolderScan scan;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = StoredName(entry.path(), root);
    const fs::file_status status = entry.symlink_status();
    if (fs::is_symlink(status)) {
      scan.problems.push_back({name, "is a symbolic link; links are not followed"});
    } else if (fs::is_directory(status)) {
      if (fs::is_empty(entry.path())) scan.emptyFolders.push_back(name);
    } else if (fs::is_regular_file(status)) {
      scan.files.push_back({name, entry.path(), entry.file_size()});
    } else {
      scan.problems.push_back({name, "is neither a plain file nor a folder"});
    }
  }
  std::sort(scan.files.begin(), scan.files.end(),
            [](const GameFolderFile& a, const GameFolderFile& b) { return a.storedName < b.storedName; });
  std::sort(scan.problems.begin(), scan.problems.end(),
            [](const PackProblem& a, const PackProblem& b) { return a.path < b.path; });
  std::sort(scan.emptyFolders.begin(), scan.emptyFolders.end());
  return scan;
}

std::uint64_t ExpandedSize(const GameFolderScan& scan) {
  std::uint64_t size = 0;
  for (const GameFolderFile& file : scan.files) size += file.size;
  return size;
}

PayloadSummary WriteGameFolderPayload(const GameFolderScan& scan, compression::Level level,
                                      const PackProgress& progress, unsigned jobs, const PayloadOutput& output) {
  std::vector<PackFileInfo> infos;
  for (const GameFolderFile& file : scan.files) infos.push_back({file.storedName, file.size});
  const PackableFiles files = CheckPackFiles(std::move(infos), scan.problems);
  FolderReader reader(scan.files);
  const ReadFilePart read = [&reader](std::size_t file, std::uint64_t offset, std::span<std::uint8_t> buffer) {
    reader.Read(file, offset, buffer);
  };
  return WritePayload(files, read, level, progress, jobs, output);
}

}  // namespace qvn::pack
