#!/usr/bin/env bash
# Installs every Debian package the project needs. Safe to run again:
# packages already present are left alone.
set -euo pipefail

packages=(
  cmake ninja-build git pkg-config
  g++ clang libclang-rt-dev
  googletest libssl-dev libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64
  xvfb xauth xdotool imagemagick icoutils openbox x11-utils
  libwim-dev time
  openssl osslsigncode
  zip unzip python3
  clang-format clang-tidy
  llvm
  help2man man-db lintian dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
