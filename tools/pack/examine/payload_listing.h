#pragma once

#include <string>

#include "payload/payload_manifest.h"

namespace qvn::pack {

// One line per entry in stored order: stored name, expanded size, stored
// size, stored size as a share of the expanded size, SHA-256 of the
// expanded contents; then a line of totals.
std::string FormatPayloadListing(const PayloadManifest& manifest);

}  // namespace qvn::pack
