#!/usr/bin/env bash
# The unpacking window, on the real launcher under Wine. A game of random,
# incompressible files is slow to unpack: its launcher shows the window
# (title, texts, a rising bar) and takes it down before the game runs; made
# with --no-progress-window, it shows none; the demo game starts too fast
# for one. Without a display the run, its exit code, output and data are
# those of a launcher that never tries. At 144 DPI (the prefix's LogPixels)
# the window is half as large again as at 96. Screenshots land in SCRATCH.
# Usage: progress_window_test.sh WINE_RUN WATCH QVN_PACK STUB TEST_GAME ICON DEMO_LAUNCHER SCRATCH
set -euo pipefail
wine_run=$1 watch=$2 pack=$3 stub=$4 test_game=$5 icon=$6 demo=$7 scratch=$8
rm -rf "$scratch"
mkdir -p "$scratch/game"
cp "$test_game" "$scratch/game/Quorvane.exe"
for i in $(seq 1 24); do head -c 8388608 /dev/urandom >"$scratch/game/asset-$i.bin"; done
"$pack" launcher --game-dir "$scratch/game" --stub "$stub" --out "$scratch/slow.exe" --jobs 2 --icon "$icon" \
  --product-name "Quorvane Slow Start" >/dev/null
"$pack" launcher --game-dir "$scratch/game" --stub "$stub" --out "$scratch/quiet.exe" --jobs 2 --icon "$icon" \
  --product-name "Quorvane Slow Start" --no-progress-window >/dev/null
cp "$demo" "$scratch/demo.exe"
win() { local path=$1; echo "Z:${path//\//\\}"; }

# Without a display: the same run, word for word, with and without the window allowed.
unset DISPLAY
for name in slow quiet; do
  mkdir -p "$scratch/headless-$name"
  cp "$scratch/$name.exe" "$scratch/headless-$name/q.exe"
  (cd "$scratch/headless-$name" && "$wine_run" "$watch" "$(win "$PWD/q.exe")" stdout game-ran 2>stderr.txt \
    | tr -d '\r' >watch.txt && (find data -printf '%y %s %P\n' | sort; cat data/game.log) >data.txt
    sed -i "s/headless-$name/headless-X/g" data.txt)
done
for file in watch.txt stderr.txt data.txt; do
  diff "$scratch/headless-slow/$file" "$scratch/headless-quiet/$file"
done
grep -qx 'window=none' "$scratch/headless-slow/watch.txt"
grep -qx 'exit=0x00000000' "$scratch/headless-slow/watch.txt"
echo "without a display: the same output, exit code and data as a launcher that never shows the window"

# Under Xvfb, in a prefix of its own: Wine's desktop process keeps the
# display of the prefix's first window.
export QVN_WINEPREFIX=$scratch-prefix
trap 'WINEPREFIX=$QVN_WINEPREFIX /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  set -euo pipefail
  wine_run=$1 watch=$2 scratch=$3
  win() { local path=$1; echo "Z:${path//\//\\}"; }
  run() { "$wine_run" "$watch" "$(win "$scratch/$1.exe")" sleep 3000 </dev/null 2>/dev/null | tr -d "\r"; }
  dpi() { "$wine_run" reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d $1 /f </dev/null >/dev/null 2>&1; }
  run demo >"$scratch/demo.txt"  # also makes the prefix
  dpi 96
  run quiet >"$scratch/quiet.txt"
  run slow >"$scratch/slow.txt" &
  watcher=$!
  looks=0
  while kill -0 $watcher 2>/dev/null; do
    if xdotool search --onlyvisible --name "^Quorvane Slow Start$" >/dev/null 2>&1; then
      looks=$((looks + 1))
      import -window root "$scratch/unpacking-$looks.png"
    elif ((looks > 0)); then
      sleep 0.5
      import -window root "$scratch/game-running.png"
      if xdotool search --onlyvisible --name "^Quorvane Slow Start$" >/dev/null 2>&1; then
        echo "the window is still there while the game runs"
        exit 1
      fi
      break
    fi
    sleep 0.1
  done
  wait $watcher
  echo "$looks screenshots while unpacking"
  dpi 144
  run slow >"$scratch/slow-144.txt" &
  watcher=$!
  while kill -0 $watcher 2>/dev/null; do
    if xdotool search --onlyvisible --name "^Quorvane Slow Start$" >/dev/null 2>&1; then
      import -window root "$scratch/at-144-dpi.png"
      break
    fi
    sleep 0.1
  done
  wait $watcher' bash "$wine_run" "$watch" "$scratch"
for name in demo quiet slow slow-144; do echo "$name: $(tr '\n' ' ' <"$scratch/$name.txt")"; done
grep -qx 'window=none' "$scratch/demo.txt"
grep -qx 'window=none' "$scratch/quiet.txt"
grep -q '^window=seen title="Quorvane Slow Start" texts="|Quorvane Slow Start|Unpacking…|" client=360x104 ' \
  "$scratch/slow.txt"
grep -q '^window=seen title="Quorvane Slow Start" texts="|Quorvane Slow Start|Unpacking…|" client=540x156 ' \
  "$scratch/slow-144.txt"
# The bar's fill (Wine's highlight colour) grows from the first look to the last.
bar() { convert "$1" -fill black +opaque "#3096FA" -fill white -opaque "#3096FA" -format "%[fx:round(mean*w*h)]" info:; }
# A look can land after the window closed, between xdotool seeing it and the
# screenshot: the fullest look is compared with the first, not the last.
looks=$(ls "$scratch"/unpacking-*.png | wc -l)
first=$(bar "$scratch/unpacking-1.png") fullest=0
for ((look = 2; look <= looks; ++look)); do
  pixels=$(bar "$scratch/unpacking-$look.png")
  if ((pixels > fullest)); then fullest=$pixels; fi
done
echo "bar pixels: $first at the first look, $fullest at the fullest of $looks"
((first < fullest))
(($(bar "$scratch/game-running.png") == 0))
for name in demo quiet slow slow-144; do grep -qx 'exit=0x00000000' "$scratch/$name.txt"; done
