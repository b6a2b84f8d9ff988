#pragma once

#include <string_view>

#include "payload/payload_fault.h"
#include "tools/pack/cli/command_refusal.h"
#include "tools/pack/crash/minidump_reader.h"

namespace qvn::pack {

// The names under which --json reports a fault (docs/json.md): the
// launcher's refusals of a payload, and the packer's own refusals of a
// command and of a player's minidump. A name never changes its meaning
// within one report format.
std::string_view PayloadFaultKind(PayloadFault fault);
std::string_view CommandFaultKind(CommandFault fault);
std::string_view DumpFaultKind(DumpFault fault);

}  // namespace qvn::pack
