#!/usr/bin/env bash
# A launcher signed as a studio would sign it: a throwaway code-signing
# certificate (its own CA) made with OpenSSL, a PKCS#12 file, osslsigncode
# with SHA-256, a product name and URL. osslsigncode accepts the signature
# against that CA; the signed launcher runs the game under Wine as the
# unsigned one does; the packer still checks its payload in full; and one
# byte changed after signing breaks the signature.
# Usage: signing_test.sh WINE_RUN LAUNCHER PACK RUNNER SCRATCH
set -uo pipefail
wine_run=$1 launcher=$2 pack=$3 runner=$4 scratch=$5
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }

rm -rf "$scratch"
mkdir -p "$scratch/plain" "$scratch/signed"
cd "$scratch" || exit 1

"$here/make_signing_certificate.sh" || fail "making the signing certificate"

cp "$launcher" plain/q.exe
osslsigncode sign -pkcs12 studio.p12 -readpass password.txt -h sha256 -n "Quorvane Portable" \
  -i "https://quorvane.example/portable" -in "$launcher" -out signed/q.exe >sign.log 2>&1 ||
  { cat sign.log; fail "osslsigncode sign"; }

if osslsigncode verify -CAfile ca.pem -in signed/q.exe >verify.log 2>&1; then
  grep -q "Quorvane Portable" verify.log || fail "the product name is not in the signature"
  grep -q "https://quorvane.example/portable" verify.log || fail "the URL is not in the signature"
  echo "osslsigncode verify: accepted"
else
  cat verify.log
  fail "osslsigncode verify refuses the signed launcher"
fi
osslsigncode verify -CAfile ca.pem -in plain/q.exe >/dev/null 2>&1 && fail "the unsigned launcher passes as signed"

# Both launchers run the game alike; their logs differ only in their folder.
for run in plain signed; do
  result=$("$wine_run" "$runner" "$(windows_path "$scratch/$run/q.exe")" </dev/null 2>"$run.err")
  result=${result%$'\r'}
  [[ $result == "exit code: 0x00000000 (0)" ]] || fail "$run launcher ends with: $result; it reported: $(cat "$run.err")"
  log=$(cat "$run/data/game.log" 2>/dev/null)
  printf '%s\n' "${log//"$(windows_path "$scratch/$run")"/FOLDER}" >"$run.log"
done
grep -q "Hello from the Quorvane demo." plain.log || fail "the game did not run: $(cat plain.log)"
cmp -s plain.log signed.log || { diff plain.log signed.log; fail "the signed launcher's run differs"; }

verdict=$("$pack" verify signed/q.exe)
echo "$verdict"
[[ $verdict == *": OK, "*"payload digest matches resource 102"* ]] || fail "qvn_pack verify of the signed launcher"
[[ $verdict == *"certificate table: signed"* ]] || fail "qvn_pack verify does not say signed"

# One byte in the middle of the file changed after signing.
cp signed/q.exe damaged.exe
middle=$(($(stat -c %s damaged.exe) / 2))
old=$(od -An -tu1 -j "$middle" -N1 damaged.exe | tr -d ' ')
printf "\\x$(printf %02x $((old ^ 0xff)))" | dd of=damaged.exe bs=1 seek="$middle" conv=notrunc 2>/dev/null
cmp -s signed/q.exe damaged.exe && fail "the byte was not changed"
if osslsigncode verify -CAfile ca.pem -in damaged.exe >damaged.log 2>&1; then
  fail "osslsigncode verify accepts a launcher changed after signing"
elif grep -q "MISMATCH" damaged.log; then
  echo "osslsigncode verify: refused the changed launcher ($(grep -m1 MISMATCH damaged.log))"
else
  cat damaged.log
  fail "osslsigncode verify refused the changed launcher for another reason than its digest"
fi

((failures == 0)) && echo "all checks passed"
exit $((failures > 0))
