#!/usr/bin/env bash
# Shows that the launcher stub is reproducible: builds it from two fresh
# clones of this repository's HEAD (committed work only) in two different
# folders and compares the two files byte for byte. Exit status 0 when they
# are identical.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
work=$(mktemp -d /tmp/qvn-reproducible.XXXXXX)
trap 'rm -rf "$work"' EXIT
stubs=()
for clone in first "second/in a deeper folder"; do
  git clone -q --no-hardlinks . "$work/$clone"
  (cd "$work/$clone" && cmake --preset windows >/dev/null &&
    cmake --build --preset windows -j "$(nproc)" --target qvn_portable_launcher_stub >/dev/null)
  stubs+=("$work/$clone/build/windows/bin/qvn_portable_launcher_stub.exe")
done
echo "commit $(git rev-parse HEAD)"
sha256sum "${stubs[@]}" | sed "s|$work/||"
if cmp -s "${stubs[0]}" "${stubs[1]}"; then
  echo "identical: $(stat -c %s "${stubs[0]}") bytes"
else
  echo "DIFFERENT: $(cmp -l "${stubs[0]}" "${stubs[1]}" | wc -l) bytes differ"
  exit 1
fi
