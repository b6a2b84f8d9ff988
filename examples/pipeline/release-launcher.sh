#!/usr/bin/env bash
# A build server's release job for the game: pack the game folder into the
# launcher, sign it, and check the signed file, stopping the job at the
# first step that fails (exit status not 0).
#
#   release-launcher.sh GAME_DIR "Quorvane Portable.exe" [qvn_pack launcher options...]
#
# From the job's environment (the CI system's secret store):
#   SIGNING_PKCS12          the studio's PKCS#12 file (certificate and key)
#   SIGNING_PASSWORD        its password: handed to osslsigncode through a
#                           pipe, never on a command line or on disk
#   SIGNING_TIMESTAMP_URL   optional: the RFC 3161 timestamp server of the
#                           authority that issued the certificate
#   SIGNING_CA_FILE         optional: that authority's certificate, to check
#                           the signature against
#   QVN_PACK                optional: the packer (default: qvn_pack on PATH)
# The launcher is packed under the name it ships with (its OriginalFilename)
# in a folder of its own, and signed into that name; verify's JSON report
# is kept beside it as <name>.verify.json.
set -euo pipefail

(($# >= 2)) || { echo "usage: $0 GAME_DIR OUT.exe [qvn_pack launcher options...]" >&2; exit 2; }
game_dir=$1 out=$2
shift 2
pack=${QVN_PACK:-qvn_pack}
: "${SIGNING_PKCS12:?set SIGNING_PKCS12 to the PKCS#12 file}"
: "${SIGNING_PASSWORD:?set SIGNING_PASSWORD to its password}"

name=$(basename "$out")
work=$(mktemp -d "$(dirname "$out")/.release.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/unsigned"

echo "== pack"
"$pack" launcher --game-dir "$game_dir" --out "$work/unsigned/$name" "$@" >&2

echo "== sign"
timestamp=()
[[ -z ${SIGNING_TIMESTAMP_URL:-} ]] || timestamp=(-ts "$SIGNING_TIMESTAMP_URL")
osslsigncode sign -pkcs12 "$SIGNING_PKCS12" -readpass <(printf '%s\n' "$SIGNING_PASSWORD") -h sha256 \
  "${timestamp[@]}" -in "$work/unsigned/$name" -out "$work/$name" >&2
if [[ -n ${SIGNING_CA_FILE:-} ]]; then
  osslsigncode verify -CAfile "$SIGNING_CA_FILE" -in "$work/$name" >&2
fi

echo "== verify"
# A refusal is a JSON document too, and the status says it; the job reads
# the verdict and the signing state from the report, not from the text.
"$pack" verify --json "$work/$name" >"$work/verify.json"
python3 - "$work/verify.json" <<'PY'
import json, sys
report = json.load(open(sys.argv[1]))
assert report["ok"] and report["verdict"] == "ok", report.get("error")
assert report["type"] == "launcher" and report["launcher"]["signed"], "the launcher is not signed"
print("verified: %d files, payload sha256 %s" % (report["fileCount"], report["payload"]["sha256"]), file=sys.stderr)
PY

mv "$work/verify.json" "$out.verify.json"
mv "$work/$name" "$out"
echo "== released $out"
