#!/usr/bin/env bash
# examples/pipeline/release-launcher.sh end to end with a throwaway
# certificate: it packs, signs and verifies the demo game; the launcher
# keeps the name it ships with, inside and out, and carries a signature
# that osslsigncode accepts; the password never reaches a command line. A
# wrong password, or a game folder the packer refuses, fails the job and
# leaves no launcher.
# Usage: pipeline_example_test.sh REPO PACK GAME_EXE GAME_FILES SCRATCH
set -uo pipefail
repo=$1 pack=$2 game_exe=$3 game_files=$4 scratch=$5
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

rm -rf "$scratch" && mkdir -p "$scratch/game" "$scratch/shipped" && cd "$scratch" || exit 1
"$repo/tests/pack/make_signing_certificate.sh" || fail "making the signing certificate"
cp -r "$game_files/." game && cp "$game_exe" game/Quorvane.exe
job() {  # PASSWORD GAME OUT: the example, as a CI job runs it
  env QVN_PACK="$pack" SIGNING_PKCS12=studio.p12 SIGNING_PASSWORD="$1" SIGNING_CA_FILE=ca.pem \
    "$repo/examples/pipeline/release-launcher.sh" "$2" "$3" --version 1.4.2 --company "Test Studio"
}

# Every command line the job starts, while it runs, to look for the password.
password=$(head -1 password.txt)
(while sleep 0.05; do cat /proc/[0-9]*/cmdline 2>/dev/null | tr '\0' ' '; echo; done >cmdlines.txt) &
watcher=$!
job "$password" game "shipped/Quorvane Portable.exe" >job.log 2>&1 || { cat job.log; fail "the job failed"; }
kill $watcher
grep -q "osslsigncode sign" cmdlines.txt || echo "(the signing step ran too fast to be seen)"
grep -qF "$password" cmdlines.txt && fail "the password was on a command line"
grep -qE -- "-pass |-pass$" "$repo/examples/pipeline/release-launcher.sh" && fail "the example gives osslsigncode -pass"

launcher="shipped/Quorvane Portable.exe"
"$pack" list "$launcher" | grep -q "^version OriginalFilename: Quorvane Portable.exe$" || fail "OriginalFilename is not the shipped name"
osslsigncode verify -CAfile ca.pem -in "$launcher" >/dev/null 2>&1 || fail "osslsigncode refuses the signature"
python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); sys.exit(not (r["ok"] and r["launcher"]["signed"]))' \
  "$launcher.verify.json" || fail "the kept report is not a signed launcher's: $(cat "$launcher.verify.json")"
grep -q "== released" job.log && echo "job: $(grep verified: job.log)"

job "not the password" game shipped/wrong.exe >wrong.log 2>&1 && fail "a wrong password did not fail the job"
mkdir refused && echo x >"refused/a b.txt"
job "$password" refused shipped/refused.exe >refused.log 2>&1 && fail "a refused game folder did not fail the job"
grep -q "a b.txt" refused.log || fail "the refused job does not say why: $(cat refused.log)"
[[ $(ls -A shipped) == $'Quorvane Portable.exe\nQuorvane Portable.exe.verify.json' ]] ||
  fail "failed jobs left files: $(ls -A shipped)"

((failures == 0)) && echo "all checks passed"
exit $((failures > 0))
