#!/usr/bin/env bash
# Sets the machine up, builds everything and runs every test: host tests
# natively (with ASan and UBSan), Windows tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
status=0
ctest --preset host -j "$(nproc)" --output-on-failure || status=1
ctest --preset windows -j "$(nproc)" --output-on-failure || status=1
exit $status
