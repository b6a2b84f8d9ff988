#!/usr/bin/env bash
# Configures and builds both trees: build/windows (the launcher and its tests,
# cross-compiled) and build/host (portable parts, tools and host tests).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
for preset in windows host; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
