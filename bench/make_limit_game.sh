#!/usr/bin/env bash
# Makes the largest game folder the format takes, for the start-up row of
# scripts/bench.sh: Quorvane.exe (the game double), four files of 127 MiB
# (one file may hold at most 128 MiB), each half machine code from this
# system's shared libraries and half pseudo-random bytes that do not
# compress, and 300 small files of 8 KiB, text and random alternately:
# about 510 MiB in all, under the 512 MiB the files may expand to. The
# random bytes are AES-CTR of zeros under a fixed key, so that a machine
# makes the same folder every time.
# Usage: bench/make_limit_game.sh GAME_DOUBLE_EXE OUT_DIR
# No pipefail: head ends the streams early on purpose; the sizes are
# checked at the end instead.
set -eu
export LC_ALL=C
game_double=$1
out=$2
half=$((127 << 19))  # half of 127 MiB
small=8192

random_bytes() {  # BYTES SEED(hex digit)
  head -c "$1" /dev/zero |
    openssl enc -aes-128-ctr -nosalt -K "0000000000000000000000000000000$2" -iv 00000000000000000000000000000000
}

rm -rf "$out"
mkdir -p "$out/content/big" "$out/content/small"
cp "$game_double" "$out/Quorvane.exe"

for index in 0 1 2 3; do
  {
    find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*' | sort | xargs cat 2>/dev/null |
      tail -c +$((index * half + 1)) | head -c "$half"
    random_bytes "$half" "$index"
  } >"$out/content/big/pack_$index.bin"
done

find /usr/include -type f -name '*.h' | sort | xargs cat 2>/dev/null | head -c $((150 * small)) |
  split -b "$small" -d -a 3 --additional-suffix=.txt - "$out/content/small/text_"
random_bytes $((150 * small)) 9 | split -b "$small" -d -a 3 --additional-suffix=.bin - "$out/content/small/noise_"

for index in 0 1 2 3; do
  if [[ $(stat -c %s "$out/content/big/pack_$index.bin") -ne $((2 * half)) ]]; then
    echo "make_limit_game.sh: too few system files to make the game folder" >&2
    exit 1
  fi
done
if [[ $(find "$out/content/small" -type f -size "${small}c" | wc -l) -ne 300 ]]; then
  echo "make_limit_game.sh: too few small files" >&2
  exit 1
fi
