# shellcheck shell=bash disable=SC2154  # work, pack, limit_runs: set by scripts/bench.sh
# Start-up at the format's limit, sourced by scripts/bench.sh (which sets
# work, pack, limit_runs, windows_path, calc, median and peak_of): a game of about
# 510 MiB (bench/make_limit_game.sh) at the default level, against its
# floor, paired and alternated by the launch benchmark, without the
# progress window and with it; then the Linux accounting of floor and
# launcher runs, alternately.

limit_game="$work/limit_game"

# Runs a command with a display where Xvfb is installed, in a Wine prefix of
# its own: Wine's desktop process keeps the display of a prefix's first
# window, and the test prefix has none. The display has a window manager,
# as a player's desktop does: without one, Wine waits 2 s for the manager
# to confirm each captioned window it takes down ("wait_for_withdrawn_state
# ... wait timed out"), and the launcher waits for its window to be gone
# before the game starts. Without Xvfb the window thread finds no display,
# as on a machine without one.
limit_display=none
if command -v xvfb-run >/dev/null; then limit_display="Xvfb with openbox"; fi
with_display() {  # COMMAND...
  if [[ $limit_display == none ]]; then
    "$@"
    return
  fi
  local prefix
  prefix="$(realpath "$work")/display-prefix"
  # shellcheck disable=SC2016  # expanded by the inner shell
  QVN_WINEPREFIX=$prefix xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    openbox >/dev/null 2>&1 &
    manager=$!
    for ((try = 0; try < 100; ++try)); do
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
      sleep 0.1
    done
    status=0
    "$@" || status=$?
    kill $manager 2>/dev/null || true
    exit $status' bash "$@"
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
}

# One run of a command: its wall seconds, and its user and kernel CPU
# seconds, minor and major page faults from wait4's rusage (this kernel
# ticks at 250 Hz, so the split of CPU into user and kernel moves about 4 %
# a run; the faults are counted exactly).
usage_of() {  # COMMAND...
  python3 -c 'import resource, subprocess, sys, time
start = time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
wall = time.monotonic() - start
u = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.3f %.3f %.3f %d %d" % (wall, u.ru_utime, u.ru_stime, u.ru_minflt, u.ru_majflt))' "$@"
}

limit_rows() {
  bench/make_limit_game.sh build/windows/bin/bench_game.exe "$limit_game"
  limit_bytes=$(find "$limit_game" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
  # The packer at the limit, level 1: build with one job and with two (the
  # launch payload), then launcher with two; wall seconds and peak memory.
  limit_pack_rows=()
  local jobs
  for jobs in 1 2; do
    limit_pack_rows+=("build $jobs $(peak_of "$pack" build --game-dir "$limit_game" --out "$work/limit.payload" \
      --digest-out "$work/limit.digest" --jobs "$jobs")")
  done
  limit_pack_rows+=("launcher 2 $(peak_of "$pack" launcher --game-dir "$limit_game" --out "$work/limit_launcher.exe" \
    --stub build/windows/bin/qvn_portable_launcher_stub.exe --jobs 2)")
  rm -f "$work/limit_launcher.exe"
  local payload digest game
  payload=$(windows_path "$work/limit.payload")
  digest=$(windows_path "$work/limit.digest")
  game=$(windows_path "$limit_game")
  limit_out=$(build/windows/wine-run.sh build/windows/bin/launch_bench.exe "$payload" "$digest" "$game" \
    "$(windows_path "$work")\\limit_run" "$limit_runs" | tr -d '\r')
  limit_window_out=$(with_display build/windows/wine-run.sh build/windows/bin/launch_bench.exe "$payload" "$digest" \
    "$game" "$(windows_path "$work")\\limit_window_run" "$limit_runs" window | tr -d '\r')
  limit_floor_usage=()
  limit_launcher_usage=()
  local run
  for ((run = 0; run < limit_runs; run++)); do
    rm -rf "$work/limit_run/floor"
    limit_floor_usage+=("$(usage_of build/windows/wine-run.sh build/windows/bin/launch_floor.exe "$payload" "$game" \
      "$(windows_path "$work")\\limit_run\\floor")")
    rm -rf "$work/limit_run/data"
    limit_launcher_usage+=("$(usage_of build/windows/wine-run.sh "$(windows_path "$work")\\limit_run\\qvn.exe")")
  done
  rm -rf "$work/limit_run" "$work/limit_window_run" "$limit_game"
  printf '%s\n' "$limit_out" >"$work/limit_runs.txt"
  printf '%s\n' "$limit_window_out" >"$work/limit_window_runs.txt"
  printf '%s\n' "${limit_floor_usage[@]}" >"$work/limit_floor_usage.txt"
  printf '%s\n' "${limit_launcher_usage[@]}" >"$work/limit_launcher_usage.txt"
}

limit() { awk -v key="$1" '$1 == key { print $2 }' <<<"$limit_out"; }
limit_window() { awk -v key="$1" '$1 == key { print $2 }' <<<"$limit_window_out"; }
limit_usage() {  # floor|launcher FIELD(1 wall, 2 user, 3 kernel, 4 minor faults, 5 major) -> the median
  local -n runs="limit_$1_usage"
  median "$(printf '%s\n' "${runs[@]}" | awk -v field="$2" '{ print $field }')"
}

# The limit rows of the table; REFERENCE_MS_PER_MB is the 114 MB game's
# launcher start to game start per MB in the same run.
print_limit_rows() {  # REFERENCE_MS_PER_MB
  local ms_per_mb
  ms_per_mb=$(calc %.6f "$(limit launch_to_game_seconds) * 1e9 / $limit_bytes")
  echo "Launch at the format's limit under Wine, medians of $limit_runs paired runs: $limit_bytes bytes expanded," \
    "payload $(limit payload_bytes) bytes"
  printf '  %-46s %8.3f s\n' "floor" "$(limit floor_seconds)"
  printf '  %-46s %8.3f s  <= 1.2 x floor: %s x (median of each run over its floor: %s x)\n' \
    "launcher start to game start, no window" "$(limit launch_to_game_seconds)" "$(limit launch_over_floor)" \
    "$(limit median_paired_ratio)"
  printf '  %-46s %8.2f ms  <= 1.2 x the 114 MB game (%.2f ms): %.2f x\n' "per MB expanded" "$ms_per_mb" "$1" \
    "$(calc %.6f "$ms_per_mb / $1")"
  printf '  %-46s %8.3f s  floor %.3f s; over the floor: %s x (paired median %s x)\n' \
    "with its progress window (display: $limit_display)" "$(limit_window launch_to_game_seconds)" \
    "$(limit_window floor_seconds)" "$(limit_window launch_over_floor)" "$(limit_window median_paired_ratio)"
  printf '  %-46s %8.3f s\n' "whole launcher run, no window" "$(limit whole_run_seconds)"
  local who
  for who in floor launcher; do
    printf '  %-46s %8.3f s  kernel %.3f s, wall %.3f s, minor faults %d, major %d\n' \
      "$who user CPU (Linux, median of $limit_runs)" "$(limit_usage "$who" 2)" "$(limit_usage "$who" 3)" \
      "$(limit_usage "$who" 1)" "$(limit_usage "$who" 4)" "$(limit_usage "$who" 5)"
  done
  printf '  %-46s %8.3f x\n' "launcher user CPU over the floor's" \
    "$(calc %.6f "$(limit_usage launcher 2) / $(limit_usage floor 2)")"
  printf '  %-46s %8.1f MiB  <= %.1f MiB (payload + largest entry + 32 MiB)\n' \
    "peak working set (GetProcessMemoryInfo)" "$(calc %.6f "$(limit peak_working_set_bytes) / 1048576")" \
    "$(calc %.6f "$(limit memory_budget_bytes) / 1048576")"
  local verb jobs seconds peak bound
  for row in "${limit_pack_rows[@]}"; do
    read -r verb jobs seconds peak <<<"$row"
    bound=$(calc %.6f "$(limit payload_bytes) / 1048576 + 128 * $jobs")
    printf '  %-46s %8.3f s  peak %.1f MiB <= %.1f MiB (payload + 128 MiB a job)\n' \
      "qvn_pack $verb, level 1, $jobs job(s)" "$seconds" "$(calc %.6f "$peak / 1048576")" "$bound"
  done
  sed -n 's/^# /  no window, /p' <<<"$limit_out"
  sed -n 's/^# /  with window, /p' <<<"$limit_window_out"
}

# The limit's figures as one JSON object.
limit_json() {
  printf '{"payload_bytes": %s, "expanded_bytes": %s, "runs": %s, "start_seconds": %s, "floor_seconds": %s, ' \
    "$(limit payload_bytes)" "$limit_bytes" "$limit_runs" "$(limit launch_to_game_seconds)" "$(limit floor_seconds)"
  printf '"launch_over_floor": %s, "median_paired_ratio": %s, ' "$(limit launch_over_floor)" \
    "$(limit median_paired_ratio)"
  printf '"with_progress_window_start_seconds": %s, "with_progress_window_floor_seconds": %s, ' \
    "$(limit_window launch_to_game_seconds)" "$(limit_window floor_seconds)"
  printf '"with_progress_window_display": "%s", ' "$limit_display"
  printf '"floor_user_cpu_seconds": %s, "launcher_user_cpu_seconds": %s, ' "$(limit_usage floor 2)" \
    "$(limit_usage launcher 2)"
  printf '"floor_minor_faults": %s, "launcher_minor_faults": %s, ' "$(limit_usage floor 4)" \
    "$(limit_usage launcher 4)"
  printf '"whole_run_seconds": %s, "peak_working_set_bytes": %s, "memory_budget_bytes": %s, "packer": [' \
    "$(limit whole_run_seconds)" "$(limit peak_working_set_bytes)" "$(limit memory_budget_bytes)"
  local separator="" verb jobs seconds peak
  for row in "${limit_pack_rows[@]}"; do
    read -r verb jobs seconds peak <<<"$row"
    printf '%s{"command": "%s", "level": 1, "jobs": %s, "seconds": %s, "peak_memory_bytes": %s}' \
      "$separator" "$verb" "$jobs" "$seconds" "$peak"
    separator=", "
  done
  printf ']}'

}
