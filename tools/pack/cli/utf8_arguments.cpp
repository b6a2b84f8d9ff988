#include "tools/pack/cli/utf8_arguments.h"

#include "base/win/wide_text.h"

namespace qvn::pack {

Utf8Arguments::Utf8Arguments(int argc, wchar_t** argv) {
  arguments_.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) arguments_.push_back(WideToUtf8(argv[i]));
  // Pointers are taken only once every string is in place.
  for (std::string& argument : arguments_) pointers_.push_back(argument.data());
}

}  // namespace qvn::pack
