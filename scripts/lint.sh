#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over the project's own sources in the host
# tree, from its compile database, and prints only its findings.
# Usage: scripts/lint.sh [jobs]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-2}
cmake --preset host >/dev/null
log=build/host/clang-tidy.log
status=0
run-clang-tidy -quiet -j "$jobs" -p build/host "^$(pwd)/(base|compression|payload|supervision|tools|tests|bench)/" \
  >"$log" 2>&1 || status=1
grep -E '(warning|error): ' "$log" | sort -u || true
exit $status
