#!/usr/bin/env bash
# Makes the release archives, one per build host: each holds under one top
# folder the packer built for that host, the launcher stub, the CMake package,
# README.txt for studios, LICENSE and THIRD-PARTY-NOTICES. The Windows tree builds both packers (its
# host-tools tree the native one), so it is the only tree this needs. The
# version is the CMake project version, as the staged package states it.
set -euo pipefail

usage() {
  cat <<'EOF'
Usage: scripts/release.sh [--no-build] [--tree DIR] [--out DIR]

Writes into OUT:
  quorvane-portable-VERSION-linux-x86_64.tar.gz
  quorvane-portable-VERSION-windows-x64.zip
  quorvane-portable_VERSION_amd64.deb   (the Linux packer, stub and CMake package, in /usr)
  SHA256SUMS            (sha256sum -c SHA256SUMS checks all three)

  --no-build   take the tree as it is built (default: build what the archives need first)
  --tree DIR   the Windows build tree (default build/windows, made with the windows preset)
  --out DIR    where the archives go (default build/release)
  -h, --help   show this text

The archives are reproducible: the same build gives the same bytes
(names sorted, owner 0, every time stamp that of the last commit, or
SOURCE_DATE_EPOCH when set).
EOF
}

build=1 tree="" out=""
while (($#)); do
  case $1 in
    --no-build) build=0 ;;
    --tree) (($# > 1)) || { usage >&2; exit 2; }; tree=$2; shift ;;
    --out) (($# > 1)) || { usage >&2; exit 2; }; out=$2; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "release: unknown argument: $1" >&2; usage >&2; exit 2 ;;
  esac
  shift
done

# Paths given are taken from where the script was started.
[[ -z $tree ]] || tree=$(realpath -m "$tree")
[[ -z $out ]] || out=$(realpath -m "$out")
cd "$(dirname "$0")/.."
repo=$PWD
defaultTree=$repo/build/windows
tree=${tree:-$defaultTree}
out=${out:-$repo/build/release}

progress() { echo "release: $*"; }
work=""
trap 'status=$?; [[ -z $work ]] || rm -rf "$work"; ((status == 0)) || echo "release: FAILED" >&2' EXIT

if ((build)); then
  bash scripts/setup.sh
  if [[ ! -f $tree/CMakeCache.txt ]]; then
    [[ $tree == "$defaultTree" ]] || { echo "release: $tree is not a configured build tree" >&2; exit 1; }
    progress "configuring $tree"
    cmake --preset windows >/dev/null
  fi
  progress "building the packers and the stub in $tree"
  cmake --build "$tree" -j "$(nproc)" --target qvn_pack qvn_portable_launcher_stub qvn_host_tools qvn_debian_files
fi
hostTree=$tree/host-tools
for t in "$tree" "$hostTree"; do
  [[ -f $t/cmake_install.cmake ]] || { echo "release: $t is not a built tree" >&2; exit 1; }
done

mkdir -p "$out"
work=$(mktemp -d "$out/.release.XXXXXX")

# cmake --install lists every file it copies; that shows only on failure.
quietly() {
  "$@" >"$work/step.log" 2>&1 || { cat "$work/step.log" >&2; return 1; }
}

# Packer TREE, into PREFIX: that tree's packer (stripped) and package, and
# the stub, which only the Windows tree builds.
stage() {
  local packerTree=$1 prefix=$2
  quietly cmake --install "$packerTree" --prefix "$prefix" --component packer --strip
  quietly cmake --install "$packerTree" --prefix "$prefix" --component package
  quietly cmake --install "$tree" --prefix "$prefix" --component stub
  quietly cmake --install "$tree" --prefix "$prefix" --component notices
  cp docs/release-readme.txt "$prefix/README.txt"
}

package_version() {
  sed -n 's/^set(PACKAGE_VERSION "\([0-9.]*\)")$/\1/p' "$1/lib/cmake/QuorvanePortable/QuorvanePortableConfigVersion.cmake"
}

# Strip stamps a Windows program with this time instead of the current one.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$repo" log -1 --format=%ct 2>/dev/null || echo 315532800)}
export SOURCE_DATE_EPOCH=$epoch

progress "staging the Linux packer from $hostTree"
stage "$hostTree" "$work/linux"
progress "staging the Windows packer from $tree"
stage "$tree" "$work/windows"
version=$(package_version "$work/linux")
[[ -n $version ]] || { echo "release: no version in the staged package" >&2; exit 1; }
[[ $(package_version "$work/windows") == "$version" ]] ||
  { echo "release: the two trees have different versions" >&2; exit 1; }
progress "version $version"

linuxTop=quorvane-portable-$version-linux-x86_64
windowsTop=quorvane-portable-$version-windows-x64
mv "$work/linux" "$work/$linuxTop"
mv "$work/windows" "$work/$windowsTop"
# Only the packer is a program of its host; the stub is data for the packer.
for top in "$linuxTop" "$windowsTop"; do
  find "$work/$top" -type d -exec chmod 755 {} +
  find "$work/$top" -type f -exec chmod 644 {} +
  chmod 755 "$work/$top"/bin/qvn_pack*
  find "$work/$top" -exec touch -h -d "@$epoch" {} +
done

cd "$work"
tarball=$linuxTop.tar.gz
zipFile=$windowsTop.zip
progress "writing $tarball"
tar --create --sort=name --format=gnu --owner=0 --group=0 --numeric-owner "$linuxTop" | gzip -n -9 >"$tarball"
progress "writing $zipFile"
# Zip stores local time: UTC makes the bytes the same in every time zone.
find "$windowsTop" | LC_ALL=C sort | TZ=UTC zip -q -X -9 -@ "$zipFile"
cd "$repo"
progress "writing the Debian package"
quietly cpack --config "$tree/CPackConfig.cmake" -B "$work/deb"
debFile=$(cd "$work/deb" && ls quorvane-portable_"$version"_*.deb)
mv "$work/deb/$debFile" "$work/$debFile"
(cd "$work" && sha256sum "$tarball" "$zipFile" "$debFile" >SHA256SUMS)

for file in "$tarball" "$zipFile" "$debFile" SHA256SUMS; do
  mv -f "$work/$file" "$out/$file"
  progress "wrote $out/$file ($(stat -c %s "$out/$file") bytes)"
done
