#include "base/utf8_path.h"

namespace qvn {

std::filesystem::path Utf8Path(const std::string& text) { return std::u8string(text.begin(), text.end()); }

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace qvn
