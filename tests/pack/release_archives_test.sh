#!/usr/bin/env bash
# The release archives from this built tree: the same bytes twice, checksums
# that sha256sum accepts, in each only its host's packer (stripped), the stub,
# the package, the README, the licence and the notices with their modes; and the tools inside each,
# unpacked alone, make the same launcher for the demo game, which verifies.
# Usage: release_archives_test.sh WINE_RUN REPO TREE VERSION GAME_EXE GAME_FILES SCRATCH
set -uo pipefail
wine_run=$1 repo=$2 tree=$3 version=$4 game_exe=$5 game_files=$6 scratch=$7
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

rm -rf "$scratch" && mkdir -p "$scratch/game" && cd "$scratch" || exit 1
for run in 1 2; do
  "$repo/scripts/release.sh" --no-build --tree "$tree" --out "run$run" || fail "release.sh, run $run"
done
(cd run1 && sha256sum -c SHA256SUMS) || fail "sha256sum -c SHA256SUMS"
cp -r "$game_files/." game && cp "$game_exe" game/Quorvane.exe

# "mode path" of each file below the top folder, the package's files as one;
# in the tarball only files of owner 0/0.
files_of() {  # ARCHIVE TOP
  case $1 in
    *.tar.gz) tar -tvzf "$1" | awk '/^-/ && $2 == "0/0" {print $1, $6}' ;;
    *.zip) zipinfo "$1" | awk '/^-/ {print $1, $NF}' ;;
  esac | sed "s| $2/| |; s| .*qvn_portable_launcher_stub.exe$| STUB|; s| lib/cmake/QuorvanePortable/[^/]*.cmake$| PACKAGE|" |
    LC_ALL=C sort -u
}
mkdir probe && printf 'cmake_minimum_required(VERSION 3.25)\nproject(probe NONE)\nfind_package(QuorvanePortable 0.2 REQUIRED)\n' >probe/CMakeLists.txt
archives=(  # archive, top folder, packer, nm, how to run the packer
  "quorvane-portable-$version-linux-x86_64 .tar.gz qvn_pack nm"
  "quorvane-portable-$version-windows-x64 .zip qvn_pack.exe x86_64-w64-mingw32-nm $wine_run"
)
for row in "${archives[@]}"; do
  read -r top suffix packer nm runner <<<"$row"
  cmp -s "run1/$top$suffix" "run2/$top$suffix" || fail "$top$suffix differs between two runs"
  expected=$(printf '%s\n' "-rw-r--r-- LICENSE" "-rw-r--r-- PACKAGE" "-rw-r--r-- README.txt" "-rw-r--r-- STUB" \
    "-rw-r--r-- THIRD-PARTY-NOTICES" "-rwxr-xr-x bin/$packer")
  [[ $(files_of "run1/$top$suffix" "$top") == "$expected" ]] || fail "$top$suffix holds: $(files_of "run1/$top$suffix" "$top")"
  mkdir "$top.unpacked" && cd "$top.unpacked" && cmake -E tar xf "../run1/$top$suffix" && cd "$top" || exit 1
  # The package finds its packer on the host it is for.
  [[ -n $runner ]] || cmake -S "$scratch/probe" -B "$scratch/probe.build" -G Ninja -DCMAKE_PREFIX_PATH="$PWD" >/dev/null ||
    fail "find_package(QuorvanePortable 0.2) in $top"
  "$nm" "bin/$packer" 2>&1 | grep -q "no symbols" || fail "$packer is not stripped"
  [[ $($runner "bin/$packer" --version </dev/null | tr -d '\r') == "qvn_pack $version" ]] || fail "$packer --version"
  # Paths into the scratch folder as both packers see them (Wine's Z: is /);
  # each packer finds the stub of its archive by itself.
  z=${runner:+Z:} made=$PWD/launcher.exe
  $runner "bin/$packer" launcher --game-dir "$z$scratch/game" --out "$z$made" \
    --icon "$z$repo/examples/demo-game/quorvane.ico" --version 1.4.2 --company "Test Studio" </dev/null >/dev/null || fail "$packer launcher"
  $runner "bin/$packer" verify "$z$made" </dev/null | grep -q ": OK, 3 files" || fail "$packer verify"
  cd "$scratch" || exit 1
done
cmp ./*linux-x86_64.unpacked/*/launcher.exe ./*windows-x64.unpacked/*/launcher.exe || fail "the Linux and Windows archives' packers made different launchers"

((failures == 0)) && echo "all checks passed"
exit $((failures > 0))
