#!/usr/bin/env bash
# Makes examples/demo-game/quorvane.ico, the demo launcher's icon, from the
# small picture beside it: 16, 32 and 48 pixel images as Explorer picks
# them, and the picture's own 64 pixels. Run again after changing the
# picture; the .ico is kept in the repository so that a build needs neither
# tool.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
picture=examples/demo-game/quorvane-icon.png
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
images=()
for size in 16 32 48; do
  convert "$picture" -resize "${size}x${size}" -strip "PNG32:$work/$size.png"
  images+=("$work/$size.png")
done
convert "$picture" -strip "PNG32:$work/64.png"
# The smaller ones as classic bitmaps, the largest as PNG, as Windows' own
# icons do.
icotool -c -o examples/demo-game/quorvane.ico "${images[@]}" -r "$work/64.png"
icotool -l examples/demo-game/quorvane.ico
