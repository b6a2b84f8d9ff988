#pragma once

#include <string>

#include "tools/pack/crash/minidump_reader.h"

namespace qvn::pack {

// The exception in words where its code is a well-known one, such as
// "access violation writing address 0x0000000000000000 (0xC0000005)";
// otherwise "exception 0x%08X".
std::string DescribeException(const DumpException& exception);

}  // namespace qvn::pack
