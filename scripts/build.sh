#!/usr/bin/env bash
# Configures and builds both trees: build/windows (the launcher and its tests,
# cross-compiled) and build/host (portable parts, tools and host tests).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
# CI sets QVN_WARNINGS_AS_ERRORS=ON (cmake/QvnWarnings.cmake).
for preset in windows host; do
  cmake --preset "$preset" -DQVN_WARNINGS_AS_ERRORS="${QVN_WARNINGS_AS_ERRORS:-OFF}" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
