#include "tools/pack/cli/progress_bar.h"

#include <cstdio>
#include <utility>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace qvn::pack {
namespace {

constexpr int kBarWidth = 40;

}  // namespace

bool StandardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

ProgressBar::ProgressBar(std::string label) : label_(std::move(label)), enabled_(StandardErrorIsTerminal()) {}

ProgressBar::~ProgressBar() {
  if (enabled_ && shownPercent_ >= 0) std::fprintf(stderr, "\r\033[K");
}

void ProgressBar::Update(std::uint64_t done, std::uint64_t total) {
  if (!enabled_) return;
  const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
  if (percent == shownPercent_) return;
  shownPercent_ = percent;
  const auto filled = static_cast<std::size_t>(percent * kBarWidth / 100);
  std::fprintf(stderr, "\r%s [%s%s] %3d%%", label_.c_str(), std::string(filled, '#').c_str(),
               std::string(kBarWidth - filled, ' ').c_str(), percent);
  std::fflush(stderr);
}

}  // namespace qvn::pack
