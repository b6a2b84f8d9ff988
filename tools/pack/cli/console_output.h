#pragma once

namespace qvn::pack {

// While it lives, a console that the packer writes to shows UTF-8 (paths
// such as C:\Users\Jürgen\Spiele arrive as UTF-8, as on Linux) and obeys the
// escape sequence with which the progress bar clears its line. What the
// console had before is put back at the end, since the console outlives the
// packer. Without a console (output to a file or pipe) it does nothing.
class ConsoleOutput {
 public:
  ConsoleOutput();
  ~ConsoleOutput();
  ConsoleOutput(const ConsoleOutput&) = delete;
  ConsoleOutput& operator=(const ConsoleOutput&) = delete;

 private:
  void* standardError_ = nullptr;
  unsigned long previousMode_ = 0;
  bool modeChanged_ = false;
  unsigned int previousCodePage_ = 0;
};

}  // namespace qvn::pack
