#!/usr/bin/env bash
# A window thread that holds the loader lock for seconds (its first library
# sleeps in DllMain, as user32 waits for Wine's desktop process) does not
# hold up the game: the game has started, and written its first line, by
# the time the library wakes, in both modes. The game unpacks slowly enough
# for the window thread to start (random files, one over 64 MiB, so that
# the decoder's second thread is in use while the lock is held).
# Usage: slow_window_library_test.sh WINE_RUN QVN_PACK SLOW_STUB SLOW_LIBRARY TEST_GAME SCRATCH
set -euo pipefail
wine_run=$1 pack=$2 stub=$3 library=$4 test_game=$5 scratch=$6
rm -rf "$scratch"
mkdir -p "$scratch/game"
cp "$test_game" "$scratch/game/Quorvane.exe"
for i in 1 2 3 4 5 6; do head -c 8388608 /dev/urandom >"$scratch/game/asset-$i.bin"; done
head -c 75497472 /dev/urandom >"$scratch/game/zz-large.bin"
"$pack" launcher --game-dir "$scratch/game" --stub "$stub" --out "$scratch/slow.exe" --jobs 2 >/dev/null
win() { local path=$1; echo "Z:${path//\//\\}"; }

unset DISPLAY
failed=0
for mode in normal capture; do
  run=$scratch/run-$mode
  mkdir -p "$run"
  cp "$scratch/slow.exe" "$run/q.exe"
  cp "$library" "$run/qvn_test_slow_library.dll"
  capture=0
  [[ $mode == capture ]] && capture=1
  status=0
  (cd "$run" && QVN_CRASH_CAPTURE=$capture QVN_SLOW_LIBRARY_EVENTS="$(win "$run/events.txt")" \
    QVN_SLOW_LIBRARY_WATCH="$(win "$run/data/game.log")" "$wine_run" "$(win "$run/q.exe")" stdout game-started \
    </dev/null >"$run/stdout.txt" 2>"$run/stderr.txt") || status=$?
  echo "$mode: exit $status; $(tr '\n' ' ' <"$run/events.txt" 2>/dev/null || echo 'no events')"
  # The library was loaded while the run went on, and when it woke the game
  # had already written its line.
  if [[ $status != 0 ]] || ! grep -qx 'slow library: loading' "$run/events.txt" ||
    ! grep -q '^slow library: loaded, game log then: .*game-started' "$run/events.txt"; then
    echo "$mode: the game did not start while the window thread held the loader lock"
    cat "$run/stderr.txt"
    failed=1
  fi
done
exit $failed
