#include "tools/pack/packing/packer_fault.h"

#include "base/error.h"

namespace qvn::pack {

void RaisePackerFault(const std::vector<std::string>& failures) {
  std::string text =
      "internal error: what was just packed fails the launcher's checks, so it was not written (please report this "
      "fault in qvn_pack):";
  for (const std::string& failure : failures) text += "\n  " + failure;
  throw Error(text);
}

void RaisePackerFault(const std::string& concerning, PayloadFault fault) {
  RaisePackerFault({concerning + ": " + std::string(PayloadFaultMessage(fault))});
}

}  // namespace qvn::pack
