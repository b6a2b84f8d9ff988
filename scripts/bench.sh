#!/usr/bin/env bash
# Builds what the benchmarks need, runs them and prints one table of
# figures, also written as JSON to build/bench.json:
#   launch  the launcher with a ~114 MB game under Wine against the floor
#           (bench/launch_bench.cpp, bench/launch_floor.cpp), medians of RUNS,
#           without the progress window (the floor shows none), then a few
#           runs as shipped, with it;
#   codec   our decoder and encoder per level against wimlib's XPRESS, natively,
#           on the same game's files (bench/codec_bench.cpp);
#   packer  qvn_pack build of the same game folder at each level, with one
#           job and with two (best of 3 runs), and its peak memory; qvn_pack launcher of the
#           same folder at level 1 with two jobs, against build, and its peak memory;
#           each peak beside its bound, the payload's size and 128 MiB a job;
#   limit   the launcher with a ~510 MiB game, the largest the format takes
#           (bench/make_limit_game.sh), against its floor, paired and
#           alternated as above: LIMIT_RUNS runs without the progress window
#           and as many with it (under Xvfb with a window manager where Xvfb
#           is installed, so that the window is drawn), then the user CPU
#           seconds and page faults
#           of floor and launcher runs, alternately.
# Figures only: nothing here passes or fails on speed. The machine is shared,
# so compare figures of one run with each other.
# Usage: scripts/bench.sh [RUNS]              (default 7; the limit rows 3)
#        scripts/bench.sh limit [LIMIT_RUNS]  (the limit rows alone, default 3,
#                                              written to build/bench-limit.json)
set -euo pipefail
cd "$(dirname "$0")/.."
limit_only=false
if [[ ${1:-} == limit ]]; then
  limit_only=true
  shift
fi
runs=${1:-7}
limit_runs=3
if $limit_only; then limit_runs=$(( ${1:-3} < 3 ? 3 : ${1:-3} )); fi
work=build/bench
json=build/bench.json

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 --target launch_bench qvn_portable_launcher_stub
cmake --preset host-release >/dev/null
cmake --build --preset host-release -j 2 --target qvn_pack codec_bench

windows_path() { local path; path=$(realpath "$1"); printf 'Z:%s' "${path//\//\\}"; }
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# A command's wall seconds and peak resident bytes (Linux's maximum resident
# set, from /usr/bin/time).
peak_of() {  # COMMAND...
  local start seconds
  start=$(now)
  /usr/bin/time -o "$work/peak.txt" -f '%M' "$@" >/dev/null
  seconds=$(calc %.3f "$(now) - $start")
  echo "$seconds $(( $(cat "$work/peak.txt") * 1024 ))"
}
# shellcheck source=scripts/bench_limit.sh
source scripts/bench_limit.sh

mkdir -p "$work"
game="$work/game"
bench/make_launch_game.sh build/windows/bin/bench_game.exe "$game"
game_bytes=$(find "$game" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
game_entries=$(find "$game" -mindepth 1 | wc -l)

# Packer: the default level makes the launch payload; then each level.
pack=build/host-release/bin/qvn_pack
"$pack" build --game-dir "$game" --out "$work/default.payload" --digest-out "$work/default.digest" >/dev/null

# The limit rows alone, with the 114 MB game's launch as their reference.
if $limit_only; then
  launch_out=$(build/windows/wine-run.sh build/windows/bin/launch_bench.exe \
    "$(windows_path "$work/default.payload")" "$(windows_path "$work/default.digest")" \
    "$(windows_path "$game")" "$(windows_path "$work")\\run" "$limit_runs" | tr -d '\r')
  rm -rf "$work/run"
  limit_rows
  reference_seconds=$(awk '$1 == "launch_to_game_seconds" { print $2 }' <<<"$launch_out")
  reference_ms_per_mb=$(calc %.6f "$reference_seconds * 1e9 / $game_bytes")
  {
    echo "== Limit benchmark ($(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
    printf '114 MB game (%s bytes), median of %s paired runs: floor %.3f s, launcher %.3f s (%s x), %.2f ms per MB\n' \
      "$game_bytes" "$limit_runs" "$(awk '$1 == "floor_seconds" { print $2 }' <<<"$launch_out")" "$reference_seconds" \
      "$(awk '$1 == "launch_over_floor" { print $2 }' <<<"$launch_out")" "$reference_ms_per_mb"
    print_limit_rows "$reference_ms_per_mb"
  } | tee "$work/limit_table.txt"
  printf '{"reference_ms_per_mb": %s, "launch_limit": %s}\n' "$reference_ms_per_mb" "$(limit_json)" \
    >build/bench-limit.json
  echo "(written to build/bench-limit.json)"
  exit 0
fi
pack_rows=()
# Each level with one job and with two, the best wall time of a few runs
# (one run's wall time swings with the machine); the peak memory is the
# largest of Linux's maximum resident set of the process (/usr/bin/time).
pack_runs=3
for level in 1 2; do
  for jobs in 1 2; do
    seconds=
    peak=0
    for ((run = 0; run < pack_runs; run++)); do
      read -r run_seconds run_peak <<<"$(peak_of "$pack" build --game-dir "$game" \
        --out "$work/level$level-jobs$jobs.payload" --digest-out "$work/level$level.digest" --level "$level" \
        --jobs "$jobs")"
      if [[ -z $seconds ]] || (( $(calc %d "$run_seconds < $seconds") )); then seconds=$run_seconds; fi
      peak=$(( run_peak > peak ? run_peak : peak ))
    done
    bytes=$(stat -c %s "$work/level$level-jobs$jobs.payload")
    pack_rows+=("$level $jobs $seconds $(calc %.1f "$game_bytes / 1e6 / $seconds") $(calc %.4f "$bytes / $game_bytes") $bytes $peak")
  done
  cmp -s "$work/level$level-jobs1.payload" "$work/level$level-jobs2.payload" ||
    echo "bench.sh: level $level: 1 and 2 jobs gave different payloads" >&2
  cp "$work/level$level-jobs1.payload" "$work/level$level.payload"
done
# The one command that makes a shippable launcher: packing as build does,
# then the stub's resources written anew.
read -r launcher_seconds launcher_peak <<<"$(peak_of "$pack" launcher --game-dir "$game" --out "$work/launcher.exe" \
  --stub build/windows/bin/qvn_portable_launcher_stub.exe --level 1 --jobs 2 --icon examples/demo-game/quorvane.ico \
  --version 1.0)"
pack_field() {  # LEVEL JOBS FIELD(3 = seconds)
  for row in "${pack_rows[@]}"; do
    read -r -a f <<<"$row"
    if [[ ${f[0]} == "$1" && ${f[1]} == "$2" ]]; then echo "${f[$(($3 - 1))]}"; fi
  done
}
default_level=?
for level in 1 2; do
  cmp -s "$work/default.payload" "$work/level$level.payload" && default_level=$level
done
payload_bytes=$(stat -c %s "$work/default.payload")

# Codec: the game's files, concatenated by the benchmark.
mapfile -t game_files < <(find "$game" -type f -size +0 | LC_ALL=C sort)
codec_out=$(build/host-release/bin/codec_bench "${game_files[@]}")

# Launch, under Wine (its lines end in CR LF); then one more start of the launcher it made, with
# Linux's own count of its peak memory.
launch_out=$(build/windows/wine-run.sh build/windows/bin/launch_bench.exe \
  "$(windows_path "$work/default.payload")" "$(windows_path "$work/default.digest")" \
  "$(windows_path "$game")" "$(windows_path "$work")\\run" "$runs" | tr -d '\r')
# The runs above keep the progress window away, as the floor shows none;
# under Wine unpacking outlasts the window's 0.5 s delay, so a launcher as
# shipped shows it at every start, and these few runs give its cost.
window_runs=3
window_out=$(build/windows/wine-run.sh build/windows/bin/launch_bench.exe \
  "$(windows_path "$work/default.payload")" "$(windows_path "$work/default.digest")" \
  "$(windows_path "$game")" "$(windows_path "$work")\\window_run" "$window_runs" window | tr -d '\r')
rm -rf "$work/window_run" "$work/run/data"
/usr/bin/time -o "$work/maxrss.txt" -f '%M' build/windows/wine-run.sh "$(windows_path "$work")\\run\\qvn.exe" \
  >/dev/null 2>&1
linux_rss_kib=$(cat "$work/maxrss.txt")

# User CPU seconds of the floor's and the launcher's own process, from
# Linux's accounting of it (wait4's rusage, read by user_cpu below),
# alternately. Wine 8.0's GetProcessTimes cannot serve: on another process
# it returns the caller's own times, which grow run by run. A figure
# includes Wine's own start-up.
# This kernel accounts CPU time by tick (250 Hz): a process's run time is
# exact, but its split into user and kernel time follows the mode each
# 4 ms tick finds it in, a sample that moves one run's user time by about
# 4 % either way (a fixed native workload of 0.85 s user, 0.12 s kernel
# time spread 6 % over 8 runs). Kernel time itself swings 3 x between runs
# (0.15 to 0.45 s for the floor) with the host's reclaiming of memory, so
# the exact total is no better; and the host's speed drifts over a series.
# A figure is therefore the mean user time of a group of cpu_group runs,
# which evens out the sampling (it errs both ways, so a group's best does
# worse); a group's runs are spread over the whole series (run i belongs
# to group i mod cpu_groups), so that a slow spell or a drift of the host
# touches every group alike. Each program's spread over its groups
# (largest over smallest) is the control; the larger of the two is
# reported, and the spread over single runs is printed beside it.
cpu_groups=4
cpu_group=4
floor_cpu=()
launcher_cpu=()
# /usr/bin/time prints hundredths, 1.6 % of these figures; wait4's rusage
# itself has microseconds.
user_cpu() {  # COMMAND...
  python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print("%.3f" % resource.getrusage(resource.RUSAGE_CHILDREN).ru_utime)' "$@"
}
for ((run = 0; run < cpu_groups * cpu_group; run++)); do
  rm -rf "$work/run/floor"
  floor_cpu+=("$(user_cpu build/windows/wine-run.sh build/windows/bin/launch_floor.exe \
    "$(windows_path "$work/default.payload")" "$(windows_path "$game")" "$(windows_path "$work")\\run\\floor")")
  rm -rf "$work/run/data"
  launcher_cpu+=("$(user_cpu build/windows/wine-run.sh "$(windows_path "$work")\\run\\qvn.exe")")
done
spread() { printf '%s\n' "$@" | sort -g | awk 'NR == 1 { low = $1 } { high = $1 } END { printf "%.3f", high / low }'; }
group_means() {  # RUN... -> the mean of each group's runs
  printf '%s\n' "$@" | awk -v groups="$cpu_groups" '{ g = (NR - 1) % groups; sum[g] += $1; n[g]++ }
    END { for (g = 0; g < groups; g++) printf "%.3f\n", sum[g] / n[g] }'
}
mapfile -t floor_cpu_groups < <(group_means "${floor_cpu[@]}")
mapfile -t launcher_cpu_groups < <(group_means "${launcher_cpu[@]}")
floor_cpu_seconds=$(median "${floor_cpu_groups[@]}")
launcher_cpu_seconds=$(median "${launcher_cpu_groups[@]}")
cpu_ratio=$(calc %.3f "$launcher_cpu_seconds / $floor_cpu_seconds")
floor_cpu_spread=$(spread "${floor_cpu_groups[@]}")
launcher_cpu_spread=$(spread "${launcher_cpu_groups[@]}")
cpu_control_spread=$(calc %.3f "($floor_cpu_spread > $launcher_cpu_spread) ? $floor_cpu_spread : $launcher_cpu_spread")
rm -rf "$work/run"

limit_rows

launch() { awk -v key="$1" '$1 == key { print $2 }' <<<"$launch_out"; }
window() { awk -v key="$1" '$1 == key { print $2 }' <<<"$window_out"; }
codec() {  # LEVEL WHAT FIELD(6 = MB/s, 9 = ratio)
  awk -v level="$1" -v what="$2" -v field="$3" '($3 == level || $4 == level) && $5 == what { print $field }' \
    <<<"$codec_out"
}

floor=$(launch floor_seconds)
to_game=$(launch launch_to_game_seconds)
peak=$(launch peak_working_set_bytes)
budget=$(launch memory_budget_bytes)
wimlib_decode=$(codec 50 decode 6)
wimlib_ratio=$(codec 50 encode 9)

{
  echo "== Benchmarks ($(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
  echo "game folder: $game_entries entries, $game_bytes bytes; payload at the default level ($default_level): $payload_bytes bytes"
  echo
  echo "Launch under Wine, median of $runs runs              figure   target"
  printf '  %-46s %8.3f s\n' "floor: start, read + hash payload, hash + write" "$floor"
  printf '  %-46s %8s    each file, start the game\n' "" ""
  printf '  %-46s %8.3f s  <= 1.2 x floor: %s x\n' "launcher start to game start" "$to_game" "$(launch launch_over_floor)"
  printf '  %-46s %8s    median of each run over its floor: %s x\n' "" "" "$(launch median_paired_ratio)"
  printf '  %-46s %8.3f s  over the fastest floor (%.3f s): %s x\n' "fastest launcher start to game start" \
    "$(launch best_launch_to_game_seconds)" "$(launch best_floor_seconds)" "$(launch best_launch_over_best_floor)"
  printf '  %-46s %8.3f s\n' "whole launcher run" "$(launch whole_run_seconds)"
  printf '  %-46s %8.3f s  median of %s runs; over their floor: %s x\n' "as shipped, with its progress window" \
    "$(window launch_to_game_seconds)" "$window_runs" "$(window launch_over_floor)"
  printf '  %-46s %8.3f s  groups %s, spread %s x (single runs: %s x)\n' \
    "floor user CPU (Linux, groups' mean, median)" "$floor_cpu_seconds" "${floor_cpu_groups[*]}" \
    "$floor_cpu_spread" "$(spread "${floor_cpu[@]}")"
  printf '  %-46s %8.3f s  groups %s, spread %s x (single runs: %s x); over the floor: %s x\n' \
    "launcher user CPU (Linux, groups' mean, median)" "$launcher_cpu_seconds" "${launcher_cpu_groups[*]}" \
    "$launcher_cpu_spread" "$(spread "${launcher_cpu[@]}")" "$cpu_ratio"
  printf '  %-46s %8.3f s\n' "start of a trivial program (for scale)" "$(launch process_start_seconds)"
  printf '  %-46s %8.1f MiB  <= %.1f MiB (payload + largest entry + 32 MiB)\n' \
    "peak working set (GetProcessMemoryInfo)" "$(calc %.6f "$peak / 1048576")" "$(calc %.6f "$budget / 1048576")"
  printf '  %-46s %8.1f MiB\n' "peak pagefile usage (GetProcessMemoryInfo)" \
    "$(calc %.6f "$(launch peak_pagefile_bytes) / 1048576")"
  printf '  %-46s %8.1f MiB\n' "max RSS of one more run (Linux, /usr/bin/time)" "$(calc %.6f "${linux_rss_kib:-0} / 1024")"
  sed -n 's/^# /  /p' <<<"$launch_out"
  echo
  print_limit_rows "$(calc %.6f "$to_game * 1e9 / $game_bytes")"
  echo
  echo "Codec, native, on the game's files ($(awk '/^data:/ { print $2 }' <<<"$codec_out") bytes)"
  printf '  %-24s %10s %10s %8s %14s\n' "" "decode MB/s" "encode MB/s" "ratio" "decode/wimlib"
  for level in 1 2; do
    printf '  %-24s %10.1f %10.1f %8.4f %13.2fx\n' "qvn level $level" "$(codec "$level" decode 6)" \
      "$(codec "$level" encode 6)" "$(codec "$level" encode 9)" "$(calc %.6f "$(codec "$level" decode 6) / $wimlib_decode")"
  done
  printf '  %-24s %10.1f %10.1f %8.4f\n' "wimlib XPRESS level 50" "$wimlib_decode" "$(codec 50 encode 6)" "$wimlib_ratio"
  echo
  echo "Packer, native, qvn_pack build of the same folder (best of $pack_runs runs)"
  printf '  %-6s %5s %10s %10s %8s %14s %12s\n' level jobs seconds MB/s ratio "payload bytes" "peak MiB"
  for row in "${pack_rows[@]}"; do
    read -r level jobs seconds mbs ratio bytes peak_bytes <<<"$row"
    printf '  %-6s %5s %10s %10s %8s %14s %12.1f\n' "$level" "$jobs" "$seconds" "$mbs" "$ratio" "$bytes" \
      "$(calc %.6f "$peak_bytes / 1048576")"
  done
  for level in 1 2; do
    printf '  level %s: 2 jobs against 1: %.2f x faster\n' "$level" \
      "$(calc %.6f "$(pack_field "$level" 1 3) / $(pack_field "$level" 2 3)")"
  done
  printf '  qvn_pack launcher, level 1, 2 jobs: %s s, %+.3f s against build, peak %.1f MiB (bound %.1f MiB)\n' \
    "$launcher_seconds" "$(calc %.6f "$launcher_seconds - $(pack_field 1 2 3)")" \
    "$(calc %.6f "$launcher_peak / 1048576")" "$(calc %.6f "$(pack_field 1 2 6) / 1048576 + 128 * 2")"
  # What the packer does beyond compressing: its time with one job over the
  # codec's encoding time of the same bytes.
  printf '  level 1, 1 job, over pure encoding (%s MB/s above): %.2f x\n' "$(codec 1 encode 6)" \
    "$(calc %.6f "$(pack_field 1 1 3) / ($game_bytes / 1e6 / $(codec 1 encode 6))")"
} | tee "$work/table.txt"

codec_json() {  # LEVEL NAME
  printf '{"name": "%s", "decode_mb_s": %s, "encode_mb_s": %s, "ratio": %s}' \
    "$2" "$(codec "$1" decode 6)" "$(codec "$1" encode 6)" "$(codec "$1" encode 9)"
}
{
  printf '{\n  "runs": %s,\n  "game_bytes": %s,\n  "game_entries": %s,\n  "payload_bytes": %s,\n' \
    "$runs" "$game_bytes" "$game_entries" "$payload_bytes"
  printf '  "default_level": "%s",\n  "launch": {\n' "$default_level"
  for key in floor_seconds launch_to_game_seconds launch_over_floor median_paired_ratio best_floor_seconds \
    best_launch_to_game_seconds \
    best_launch_over_best_floor whole_run_seconds process_start_seconds \
    peak_working_set_bytes peak_pagefile_bytes memory_budget_bytes largest_entry_bytes; do
    printf '    "%s": %s,\n' "$key" "$(launch "$key")"
  done
  printf '    "floor_cpu_seconds": %s,\n    "launcher_cpu_seconds": %s,\n    "cpu_ratio": %s,\n' \
    "$floor_cpu_seconds" "$launcher_cpu_seconds" "$cpu_ratio"
  printf '    "cpu_control_spread": %s,\n' "$cpu_control_spread"
  printf '    "with_progress_window_launch_to_game_seconds": %s,\n    "with_progress_window_over_floor": %s,\n' \
    "$(window launch_to_game_seconds)" "$(window launch_over_floor)"
  printf '    "linux_max_rss_bytes": %s\n  },\n' "$(( ${linux_rss_kib:-0} * 1024 ))"
  printf '  "launch_limit": %s,\n' "$(limit_json)"
  printf '  "codec": [\n    %s,\n    %s,\n    %s\n  ],\n' "$(codec_json 1 "qvn level 1")" \
    "$(codec_json 2 "qvn level 2")" "$(codec_json 50 "wimlib XPRESS level 50")"
  printf '  "pack": ['
  separator=""
  for row in "${pack_rows[@]}"; do
    read -r level jobs seconds mbs ratio bytes peak_bytes <<<"$row"
    printf '%s\n    {"level": %s, "jobs": %s, "seconds": %s, "mb_s": %s, "ratio": %s, "payload_bytes": %s, "peak_memory_bytes": %s}' \
      "$separator" "$level" "$jobs" "$seconds" "$mbs" "$ratio" "$bytes" "$peak_bytes"
    separator=","
  done
  printf '\n  ],\n  "launcher": {"level": 1, "jobs": 2, "seconds": %s, "over_build_seconds": %s, "peak_bytes": %s}\n}\n' \
    "$launcher_seconds" "$(calc %.3f "$launcher_seconds - $(pack_field 1 2 3)")" "$launcher_peak"
} >"$json"
echo "(written to $json)"
