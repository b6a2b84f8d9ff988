#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over the project's own sources and prints
# only its findings: every file of the host tree, from its compile database,
# then, from the Windows tree's, the files the host tree does not compile and
# those it compiles without their Windows branches. clang reads the Windows
# files as mingw-w64's compiler would: its target, its headers and its
# libstdc++.
# Usage: scripts/lint.sh [jobs]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-2}
own="^$(pwd)/(base|compression|payload|supervision|runtime|launcher|tools|tests|bench|examples)/"
cmake --preset host >/dev/null
cmake --preset windows >/dev/null

sources() { grep -o '"file": "[^"]*"' "$1/compile_commands.json" | cut -d'"' -f4 | grep -E "$own" | grep -E '\.(c|cpp)$' | sort -u; }
windowsSources=$(comm -13 <(sources build/host) <(sources build/windows))
sharedWithWindowsBranches=$(comm -12 <(sources build/host) <(sources build/windows) | xargs grep -l '_WIN32' || true)

# mingw-w64's g++ names its libstdc++ folders; clang, not recognising its
# version folder (12-posix), would otherwise take the host's.
windowsArgs=(-extra-arg=--target=x86_64-w64-mingw32 -extra-arg=--sysroot=/usr/x86_64-w64-mingw32)
while read -r dir; do
  windowsArgs+=("-extra-arg=-isystem$dir")
done < <(x86_64-w64-mingw32-g++-posix -xc++ -E -v - </dev/null 2>&1 | sed -n 's|^ \(/.*/include/c++.*\)$|\1|p')

# The compile databases hold gcc's options; clang skips those it lacks.
common=(-extra-arg=-Wno-unknown-warning-option)
findings() { sed 's/\x1b\[[0-9;]*m//g' "$1" | grep -E '(warning|error): ' | sort -u || true; }
status=0
run-clang-tidy -quiet -j "$jobs" -p build/host "${common[@]}" "$own" >build/host/clang-tidy.log 2>&1 || status=1
findings build/host/clang-tidy.log
# shellcheck disable=SC2086 # one file name a word
run-clang-tidy -quiet -j "$jobs" -p build/windows "${common[@]}" "${windowsArgs[@]}" $windowsSources $sharedWithWindowsBranches \
  >build/windows/clang-tidy.log 2>&1 || status=1
findings build/windows/clang-tidy.log
exit $status
