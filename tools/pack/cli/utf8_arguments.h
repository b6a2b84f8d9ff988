#pragma once

#include <string>
#include <vector>

namespace qvn::pack {

// The program's arguments, which Windows hands over as UTF-16, as UTF-8 in
// the argc/argv form the command-line parser takes. Paths made from them go
// through Utf8Path (see utf8_path.h), never through the narrow code page.
class Utf8Arguments {
 public:
  // Raises std::system_error for an argument that is not valid UTF-16.
  Utf8Arguments(int argc, wchar_t** argv);
  ~Utf8Arguments() = default;
  Utf8Arguments(const Utf8Arguments&) = delete;
  Utf8Arguments& operator=(const Utf8Arguments&) = delete;

  int count() const { return static_cast<int>(pointers_.size()); }
  char** values() { return pointers_.data(); }

 private:
  std::vector<std::string> arguments_;
  std::vector<char*> pointers_;
};

}  // namespace qvn::pack
