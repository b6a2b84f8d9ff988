#pragma once

#include <string>

namespace qvn {

// Deletes a runtime directory and everything in it, depth first. A missing
// root is no failure. Links are removed as links and never entered; a root
// that is itself a link or a file is refused. Nothing is retried and no
// attribute is changed: a read-only or busy file stops the removal.
void RemoveRuntimeDirectory(const std::wstring& root);

}  // namespace qvn
