#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# from its seed corpus. Usage: scripts/fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz -DQVN_WARNINGS_AS_ERRORS="${QVN_WARNINGS_AS_ERRORS:-OFF}" >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
status=0
for fuzzer in build/fuzz/bin/*_fuzzer; do
  [[ -x $fuzzer ]] || continue
  name=$(basename "$fuzzer")
  corpus=tests/fuzz/corpus/${name%_fuzzer}
  work=build/fuzz/corpus/$name
  mkdir -p "$work"
  seeds=()
  [[ -d $corpus ]] && seeds=("$corpus")
  echo "== $name for ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 "$work" "${seeds[@]}" \
    >"build/fuzz/$name.log" 2>&1 || { status=1; tail -40 "build/fuzz/$name.log"; }
  grep -E "^(stat::number_of_executed_units|Done)" "build/fuzz/$name.log" || true
done
exit $status
