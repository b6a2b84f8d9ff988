#!/usr/bin/env bash
# A studio's use of the Windows tree's install, with plain cmake and no
# compiler: examples/studio-project makes a launcher that runs the game, the
# same bytes as the installed qvn_pack finding its stub alone; signing
# through qvn_add_portable_launcher passes osslsigncode verify with the
# password in no build file or log; a wrong password fails, leaving nothing.
# Usage: studio_package_test.sh WINE_RUN BUILD_DIR GAME_DIR STUDIO_PROJECT RUNNER SCRATCH
set -uo pipefail
wine_run=$1 build_dir=$2 game_dir=$3 studio_project=$4 runner=$5 scratch=$6
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
prefix=$scratch/prefix

rm -rf "$scratch"
mkdir -p "$scratch/signing" "$scratch/by-hand"
cmake --install "$build_dir" --prefix "$prefix" >/dev/null || fail "cmake --install"
[[ -e $prefix/bin/qvn_portable_launcher_stub.exe ]] && fail "the stub is still installed into bin"

studio=$scratch/studio
{ cmake -S "$studio_project" -B "$studio" -DCMAKE_PREFIX_PATH="$prefix" -DGAME_DIR="$game_dir" &&
  cmake --build "$studio"; } >"$scratch/studio.log" 2>&1 || { cat "$scratch/studio.log"; fail "building the studio project"; }
result=$("$wine_run" "$runner" "Z:${studio//\//\\}\\quorvane_portable.exe" </dev/null 2>/dev/null)
[[ ${result%$'\r'} == "exit code: 0x00000000 (0)" ]] || fail "the studio's launcher ends with: $result"
grep -q "Hello from the Quorvane demo." "$studio/data/game.log" 2>/dev/null || fail "the studio's launcher did not run the game"
"$prefix/bin/qvn_pack" launcher --game-dir "$game_dir" --out "$scratch/by-hand/quorvane_portable.exe" >"$scratch/by-hand.log" 2>&1 ||
  { cat "$scratch/by-hand.log"; fail "installed qvn_pack without --stub"; }
cmp "$studio/quorvane_portable.exe" "$scratch/by-hand/quorvane_portable.exe" || fail "the studio's launcher differs from qvn_pack's"

cd "$scratch/signing" || exit 1
"$here/make_signing_certificate.sh" || fail "making the signing certificate"
echo "not the password" >wrong-password.txt
cat >CMakeLists.txt <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(signing LANGUAGES NONE)
find_package(QuorvanePortable 0.2 REQUIRED)
set(outputName_signed "Quorvane Portable.exe")
set(outputName_wrong wrong.exe)
foreach(name IN ITEMS signed wrong)
  qvn_add_portable_launcher(\${name} GAME_DIR "$game_dir" OUTPUT_NAME \${outputName_\${name}} PRODUCT_NAME "Quorvane Portable"
    PRODUCT_URL https://quorvane.example/portable SIGN_PKCS12 studio.p12 SIGN_PASSWORD_FILE \${name}-password.txt)
endforeach()
CMAKE
mv password.txt signed-password.txt
cmake -B build -DCMAKE_PREFIX_PATH="$prefix" >build.log 2>&1 || { cat build.log; fail "configuring the signing project"; }
cmake --build build --target signed --verbose >>build.log 2>&1 || { cat build.log; fail "building the signed launcher"; }
grep -rq "throwaway password" build build.log && fail "the password is in the build files or the log"
"$prefix/bin/qvn_pack" list "build/Quorvane Portable.exe" | grep -q "^version OriginalFilename: Quorvane Portable.exe$" ||
  fail "the signed launcher is not named Quorvane Portable.exe inside and out"
osslsigncode verify -CAfile ca.pem -in "build/Quorvane Portable.exe" >verify.log 2>&1 || { cat verify.log; fail "osslsigncode verify"; }
grep -q "Quorvane Portable" verify.log && grep -q "https://quorvane.example/portable" verify.log ||
  fail "the product name or URL is not in the signature"
cmake --build build --target wrong >wrong.log 2>&1 && fail "a wrong password did not fail the build"
ls build/wrong.exe* 2>/dev/null && fail "a failed signing left a launcher"

((failures == 0)) && echo "all checks passed"
exit $((failures > 0))
