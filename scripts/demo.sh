#!/usr/bin/env bash
# Builds the launcher with its embedded demo game, shows what Explorer would
# show of the file (its icon, saved as a PNG, and its Details strings as
# Windows reads them), runs it under Wine from a short scratch folder, then
# shows what a player would find.
#
#   scripts/demo.sh                 a normal run (exit status 0)
#   scripts/demo.sh --exit N        the game exits with status N
#   scripts/demo.sh --crash         the game crashes in crash capture mode
#   scripts/demo.sh --message-box   a non-zero exit shown in a message box
#                                   under Xvfb, saved as a PNG
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

mode=normal
game_args=()
case "${1:-}" in
  "") ;;
  --exit) mode=exit; game_args=(exit "${2:?--exit needs a status}") ;;
  --crash) mode=crash; game_args=(crash) ;;
  --message-box) mode=message-box; game_args=(exit 3) ;;
  *) echo "usage: $0 [--exit N | --crash | --message-box]" >&2; exit 2 ;;
esac

bash scripts/setup.sh >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target qvn_portable_launcher qvn_run_reporting_exit qvn_show_file_details >/dev/null

scratch=/tmp/qvn-demo
rm -rf "$scratch"
mkdir -p "$scratch"
cp build/windows/bin/qvn_portable_launcher.exe "$scratch/Quorvane Portable.exe"
wine_run=build/windows/wine-run.sh
launcher='Z:\tmp\qvn-demo\Quorvane Portable.exe'
runner="Z:${root//\//\\}\\build\\windows\\bin\\qvn_run_reporting_exit.exe"

if [[ $mode == crash ]]; then
  export QVN_CRASH_CAPTURE=1
fi

# What Explorer shows: the largest image of the icon group, and the Details
# tab's strings through GetFileVersionInfoW and VerQueryValueW.
details="Z:${root//\//\\}\\build\\windows\\bin\\qvn_show_file_details.exe"
wrestool -x -t 14 "$scratch/Quorvane Portable.exe" >"$scratch/icon.ico"
largest=$(icotool -l "$scratch/icon.ico" | sort -t= -k4 -n | tail -1 | sed -n 's/.*--index=\([0-9]*\).*/\1/p')
icotool -x -i "$largest" -o "$scratch/icon.png" "$scratch/icon.ico"
echo "== The launcher's icon ($(icotool -l "$scratch/icon.ico" | wc -l) images) was saved as $scratch/icon.png (image $largest)"
rm "$scratch/icon.ico"
echo "== Details, as Windows reads them:"
"$wine_run" "$details" "$launcher"

echo "== Running \"$launcher\" ${game_args[*]:-}"
set +e
if [[ $mode == message-box ]]; then
  # A standard error whose reader has gone makes the launcher fall back to
  # its message box, as it does when started from the desktop.
  shot=$scratch/message-box.png
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    scratch=$1; shift
    "$@" >"$scratch/runner.txt" 2> >(exec true) &
    pid=$!
    window=
    for _ in $(seq 1 120); do
      window=$(xdotool search --name "^Quorvane$" 2>/dev/null | head -1)
      [[ -n $window ]] && break
      sleep 0.25
    done
    sleep 2
    import -window root "$scratch/message-box.png"
    while kill -0 $pid 2>/dev/null; do
      xdotool windowfocus --sync "$window" key Return 2>/dev/null
      sleep 0.25
    done
    wait $pid' _ "$scratch" "$wine_run" "$runner" "$launcher" "${game_args[@]}"
  status=$?
  cat "$scratch/runner.txt"
  echo "== The message box was saved as $shot"
else
  "$wine_run" "$runner" "$launcher" "${game_args[@]}" 2>"$scratch/report.txt"
  status=$?
  echo "== Launcher report (standard error):"
  if [[ -s $scratch/report.txt ]]; then cat "$scratch/report.txt"; else echo "(none)"; fi
fi
set -e
echo "== Wine's own exit status (low 8 bits): $status"

echo "== Contents of data:"
(cd "$scratch" && find data -printf '%y %10s  %p\n' 2>/dev/null | sort -k3 || echo "(no data directory)")
if [[ -f $scratch/data/game.log ]]; then
  echo "== data/game.log:"
  cat "$scratch/data/game.log"
fi
if [[ $mode == crash && -f $scratch/data/crash-last.txt ]]; then
  echo "== data/crash-last.txt:"
  cat "$scratch/data/crash-last.txt"
  echo "== data/crash-last.dmp: $(stat -c %s "$scratch/data/crash-last.dmp" 2>/dev/null || echo missing) bytes"
fi
