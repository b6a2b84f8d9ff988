#pragma once

#include <string>

#include "base/work_progress.h"
#include "payload/payload_manifest.h"
#include "runtime/decompressor.h"

namespace qvn {

// Unpacks every manifest entry, in stored order, below the runtime directory
// and creates its empty `temp` first. Each file is decompressed whole and
// checked against its SHA-256 before it is created (CREATE_NEW, one write),
// so a file that fails the check never appears on disk. Every directory on
// the way is held open without delete sharing until the end. Each file adds
// three times its expanded size to `progress`: decoded, hashed, written.
// The decompressor is the caller's, made before anything else in the
// process can hold the loader lock (see CreateDecompressor).
void ExtractRuntime(const PayloadManifest& manifest, const std::wstring& runtimeDirectory, Decompressor& decompressor,
                    WorkProgress& progress);

}  // namespace qvn
