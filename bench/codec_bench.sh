#!/usr/bin/env bash
# Builds the codec benchmark optimised and runs it. Installs Debian's
# libwim-dev first (if missing) so that wimlib's XPRESS codec runs as the
# peer. Usage: bench/codec_bench.sh [FILE...]
set -euo pipefail
cd "$(dirname "$0")/.."
if ! dpkg-query -W -f='${Status}' libwim-dev 2>/dev/null | grep -q "install ok installed"; then
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends libwim-dev
fi
cmake --preset host-release >/dev/null
cmake --build --preset host-release --target codec_bench -j 2
build/host-release/bin/codec_bench "$@"
