#!/usr/bin/env bash
# The Debian package as a Linux build host meets it: release.sh puts it
# beside the archives and into SHA256SUMS; lintian finds no error or warning
# that an override does not justify; `apt-get install ./<deb>` installs it;
# `man qvn_pack` shows its page; a studio's project given no hints finds the
# CMake package and builds a launcher that verifies; `apt-get remove`
# leaves none of its files behind.
# It installs into the real system, so it runs only as root, only where the
# package is not installed already, one run at a time on the machine, and
# removes the package again however it ends. Elsewhere it skips (77) and
# says why.
# Usage: debian_package_test.sh REPO TREE VERSION GAME_EXE GAME_FILES SCRATCH
set -uo pipefail
repo=$1 tree=$2 version=$3 game_exe=$4 game_files=$5 scratch=$6
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
skip() { echo "SKIPPED: $*"; exit 77; }

[[ $(id -u) -eq 0 ]] || skip "installing a package needs root"
command -v apt-get >/dev/null && command -v dpkg >/dev/null || skip "no apt-get or dpkg on this machine"
command -v lintian >/dev/null || skip "lintian is not installed (scripts/setup.sh installs it)"
# Two runs at once (two build trees) would install over each other.
exec 9>/run/lock/qvn-debian-package-test.lock || skip "cannot open the lock file"
flock -w 900 9 || skip "another run of this test held the machine for 15 minutes"
if dpkg-query -W -f='${Status}' quorvane-portable 2>/dev/null | grep -q "installed"; then
  skip "quorvane-portable is already installed here; this test would replace and then remove it"
fi

rm -rf "$scratch" && mkdir -p "$scratch/game" && cd "$scratch" || exit 1
"$repo/scripts/release.sh" --no-build --tree "$tree" --out release || fail "release.sh"
deb=$scratch/release/quorvane-portable_${version}_amd64.deb
[[ -f $deb ]] || { fail "release.sh wrote no $deb"; exit 1; }
grep -q " quorvane-portable_${version}_amd64.deb$" release/SHA256SUMS || fail "SHA256SUMS does not list the package"
(cd release && sha256sum -c SHA256SUMS >/dev/null) || fail "sha256sum -c SHA256SUMS"

lintian --fail-on error,warning --show-overrides "$deb" >lintian.txt 2>&1 || fail "lintian: $(cat lintian.txt)"
echo "lintian:" && sed 's/^/  /' lintian.txt

# Whatever happens from here, the package goes again.
apt=(apt-get -y -q -o DPkg::Lock::Timeout=600)
trap '"${apt[@]}" remove quorvane-portable >/dev/null 2>&1' EXIT
# Minimal Debian images tell dpkg to leave man pages out; this page is
# what is tested, so it is let in.
include=()
if grep -qs "path-exclude=/usr/share/man" /etc/dpkg/dpkg.cfg.d/*; then
  echo "dpkg leaves man pages out on this machine (/etc/dpkg/dpkg.cfg.d); qvn_pack.1.gz is let in for this install"
  include=(-o DPkg::Options::=--path-include=/usr/share/man/man1/qvn_pack.1.gz)
fi
DEBIAN_FRONTEND=noninteractive "${apt[@]}" "${include[@]}" install "$deb" >install.log 2>&1 ||
  { cat install.log; fail "apt-get install $deb"; exit 1; }
dpkg-query -L quorvane-portable | sort >installed.txt

[[ $(/usr/bin/qvn_pack --version) == "qvn_pack $version" ]] || fail "/usr/bin/qvn_pack --version: $(/usr/bin/qvn_pack --version)"
page=$(MANPAGER=cat MANWIDTH=100 man qvn_pack 2>&1)
for text in "qvn_pack - pack a game folder into a portable Windows launcher" "qvn_pack launcher" "EXIT STATUS"; do
  [[ $page == *"$text"* ]] || fail "man qvn_pack lacks \"$text\": ${page:0:300}"
done

# A studio's project as in examples/studio-project, with no prefix named.
cp -r "$game_files/." game && cp "$game_exe" game/Quorvane.exe
if env -u CMAKE_PREFIX_PATH cmake -S "$repo/examples/studio-project" -B studio -G Ninja -DGAME_DIR="$scratch/game" \
  >studio.log 2>&1 && cmake --build studio >>studio.log 2>&1; then
  grep -q "^QuorvanePortable_DIR:PATH=/usr/lib/cmake/QuorvanePortable$" studio/CMakeCache.txt ||
    fail "the project found another package: $(grep QuorvanePortable_DIR studio/CMakeCache.txt)"
  /usr/bin/qvn_pack verify studio/quorvane_portable.exe | grep -q ": OK, 3 files" || fail "the studio's launcher does not verify"
else
  cat studio.log
  fail "a studio project with no hints does not find the package or build a launcher"
fi

"${apt[@]}" remove quorvane-portable >remove.log 2>&1 || { cat remove.log; fail "apt-get remove"; }
trap - EXIT
[[ $(dpkg-query -W -f='${Status}' quorvane-portable 2>/dev/null) != *installed* ]] ||
  fail "dpkg still lists the package: $(dpkg-query -W -f='${Status}' quorvane-portable)"
# Folders such as /usr/bin stay; every file and every folder of its own goes.
left=0
while read -r path; do
  [[ -e $path && ! -d $path ]] && { fail "left behind: $path"; left=1; }
done <installed.txt
for folder in /usr/share/quorvane-portable /usr/lib/cmake/QuorvanePortable /usr/share/doc/quorvane-portable; do
  [[ -e $folder ]] && fail "left behind: $folder"
done
((left == 0)) && echo "apt-get remove left none of the $(wc -l <installed.txt) paths behind"

((failures == 0)) && echo "all checks passed"
exit $((failures > 0))
