#pragma once

#include <string_view>

#include "base/error.h"

namespace qvn::pack {

// What the packer refuses of a command other than the game folder (a
// PackRefused) and the payload's own checks (a PayloadFault): its kind is
// the `error.kind` of a --json report.
enum class CommandFault {
  kInput,          // an icon, version, text or stub that cannot be used
  kOutputPlace,    // an output that cannot be written where it is named
  kNotExaminable,  // a folder given where a launcher or payload belongs
};

class CommandRefused : public Error {
 public:
  CommandRefused(CommandFault fault, std::string_view text) : Error(text), fault_(fault) {}

  CommandFault fault() const { return fault_; }

 private:
  CommandFault fault_;
};

}  // namespace qvn::pack
