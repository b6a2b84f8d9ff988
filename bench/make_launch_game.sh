#!/usr/bin/env bash
# Makes the launch benchmark's game folder, about 114 MB in about 200
# entries, from this system's own files: Quorvane.exe (the game double that
# reports its start); QuorvaneCore.dll, 110,000,000 bytes of real machine
# code (100 MB of shared libraries, then 10 MB of mingw-w64 archives: more
# of those would be mostly import stubs, which compress far better than a
# game's code); 3 MB of text in 60 files; 40 PNG images; 95 small headers;
# one empty file. Files are taken in C-locale name order, so that a machine
# makes the same folder every time.
# Usage: bench/make_launch_game.sh GAME_DOUBLE_EXE OUT_DIR
# No pipefail: head ends the concatenations early on purpose; the sizes
# are checked at the end instead.
set -eu
export LC_ALL=C
game_double=$1
out=$2

sorted_files() {  # DIR NAME_PATTERN
  find "$1" -maxdepth 1 -type f -name "$2" | sort
}

# The first BYTES bytes of the files named on standard input, concatenated.
first_bytes_of() {  # BYTES
  xargs cat 2>/dev/null | head -c "$1"
}

rm -rf "$out"
mkdir -p "$out/assets/text" "$out/assets/images" "$out/assets/small"
cp "$game_double" "$out/Quorvane.exe"

{
  sorted_files /usr/lib/x86_64-linux-gnu '*.so*' | first_bytes_of 100000000
  sorted_files /usr/x86_64-w64-mingw32/lib '*.a' | first_bytes_of 10000000
} >"$out/QuorvaneCore.dll"

find /usr/include -type f -name '*.h' | sort | first_bytes_of 3000000 |
  split -b 50000 -d -a 3 --additional-suffix=.txt - "$out/assets/text/notes_"

index=0
while IFS= read -r image; do
  cp "$image" "$(printf '%s/assets/images/image_%03d.png' "$out" "$index")"
  index=$((index + 1))
done < <(find /usr/share -type f -name '*.png' -size +4k -size -200k | sort | sed -n 1,40p)

index=0
while IFS= read -r header; do
  cp "$header" "$(printf '%s/assets/small/small_%03d.h' "$out" "$index")"
  index=$((index + 1))
done < <(find /usr/include -type f -name '*.h' -size -4k | sort | sed -n 1,95p)

: >"$out/assets/small/empty.flag"
if [[ $(stat -c %s "$out/QuorvaneCore.dll") -ne 110000000 || $(cat "$out"/assets/text/* | wc -c) -ne 3000000 ]]; then
  echo "make_launch_game.sh: too few system files to make the game folder" >&2
  exit 1
fi
