#!/usr/bin/env bash
# A launcher whose standard error cannot be written (a pipe whose reader has
# gone) shows its report in a message box instead. Runs the real launcher
# under Xvfb, waits for the box captioned "Quorvane", saves a screenshot,
# dismisses it and checks that the launcher then ends with exit code 1.
# Usage: message_box_test.sh WINE_RUN BARE_LAUNCHER SCRATCH
#
# It uses a Wine prefix of its own: Wine's desktop process, started by the
# first window of a prefix, keeps the display it was started with, and the
# other tests run without one.
set -euo pipefail
wine_run=$1 bare_launcher=$2 scratch=$3
export QVN_WINEPREFIX=$scratch-prefix
trap 'WINEPREFIX=$QVN_WINEPREFIX /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
rm -rf "$scratch"
mkdir -p "$scratch"
cp "$bare_launcher" "$scratch/q.exe"

xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  set -u
  wine_run=$1 scratch=$2
  "$wine_run" "Z:${scratch//\//\\}\\q.exe" </dev/null >/dev/null 2> >(exec true) &
  pid=$!
  window=
  for _ in $(seq 1 240); do  # a first run also makes the prefix
    window=$(xdotool search --name "^Quorvane$" 2>/dev/null | head -1 || true)
    [[ -n $window ]] && break
    sleep 0.25
  done
  if [[ -z $window ]]; then
    echo "no message box appeared"
    kill $pid 2>/dev/null
    exit 1
  fi
  import -window root "$scratch/message-box.png" 2>/dev/null || true
  while kill -0 $pid 2>/dev/null; do
    xdotool windowfocus --sync "$window" key Return 2>/dev/null || true
    sleep 0.25
  done
  wait $pid
  status=$?
  echo "launcher ended with status $status after its message box was dismissed"
  [[ $status -eq 1 ]]' bash "$wine_run" "$scratch"
