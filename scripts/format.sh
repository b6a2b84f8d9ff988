#!/usr/bin/env bash
# Formats every C++ source of the project with .clang-format.
#   scripts/format.sh          rewrites the files in place
#   scripts/format.sh --check  changes nothing; lists the files that are not
#                              formatted and fails if there are any
set -euo pipefail
cd "$(dirname "$0")/.."
# New files count too, before they are committed.
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' '*.h.in')
if [[ ${1:-} == --check ]]; then
  unformatted=()
  for file in "${files[@]}"; do
    clang-format --style=file "$file" | cmp -s - "$file" || unformatted+=("$file")
  done
  if ((${#unformatted[@]})); then
    printf 'not formatted (run scripts/format.sh): %s\n' "${unformatted[@]}" >&2
    exit 1
  fi
  echo "format: ${#files[@]} files formatted"
elif [[ $# -eq 0 ]]; then
  clang-format --style=file -i "${files[@]}"
else
  echo "usage: scripts/format.sh [--check]" >&2
  exit 2
fi
