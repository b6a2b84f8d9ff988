#pragma once

#include <cstdint>
#include <string>

namespace qvn::pack {

bool StandardErrorIsTerminal();

// A one-line progress bar on standard error, drawn only when standard error
// is a terminal, so that logs and build output stay clean. The line is
// cleared when the bar goes away.
class ProgressBar {
 public:
  explicit ProgressBar(std::string label);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Update(std::uint64_t done, std::uint64_t total);

 private:
  std::string label_;
  bool enabled_;
  int shownPercent_ = -1;
};

}  // namespace qvn::pack
