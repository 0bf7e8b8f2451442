#!/bin/bash
# A signed installer still finds its package: the packed demo program is signed with Authenticode (a certificate
# made here with openssl, osslsigncode to sign and to check the signature), packtool reads the signed file as it
# read the unsigned one and says that a signature is present, refuses to pack onto the signed file, and the signed
# program is walked through its install and uninstall under wine64 (walk_install.sh, the registry scenario).
#
#   walk_signed.sh --exe QuorvanSetup.exe --packtool PACKTOOL --probe window_probe.exe --sample SAMPLE_GAME_DIR \
#                  --lit window2.bmp --out DIR
#
# DIR receives the certificate, the signed installer and the walk's screenshots (DIR/walk).
# Environment: as for walk_install.sh (WINEPREFIX, DISPLAY).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"

source "$ROOT/scripts/gui-lib.sh"
walk_args walk_signed "exe packtool probe sample lit out" "$@"
walk_need_tools openssl osslsigncode
started=$SECONDS

SIGNED="$OUT/QuorvanSetup-signed.exe"
rm -rf "$OUT/cert" "$SIGNED"
mkdir -p "$OUT/cert"

echo "== signing $EXE"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$OUT/cert/key.pem" -out "$OUT/cert/cert.pem" -days 30 \
    -subj "/CN=Test Maintainer" 2>"$OUT/cert/openssl.log" || fail "openssl could not make a certificate"
osslsigncode sign -certs "$OUT/cert/cert.pem" -key "$OUT/cert/key.pem" -n "Quorvan test pack" -in "$EXE" \
    -out "$SIGNED" >"$OUT/cert/sign.log" 2>&1 || fail "osslsigncode sign failed: $(cat "$OUT/cert/sign.log")"
osslsigncode verify -CAfile "$OUT/cert/cert.pem" "$SIGNED" >"$OUT/cert/verify.log" 2>&1 ||
    fail "osslsigncode verify failed: $(tail -5 "$OUT/cert/verify.log")"
grep -q '^Signature verification: ok' "$OUT/cert/verify.log" || fail "osslsigncode verify did not say ok"
before=$(stat -c %s "$EXE")
after=$(stat -c %s "$SIGNED")
echo "   osslsigncode verify: Succeeded; $before bytes unsigned, $after signed (+$((after - before)))"

echo "== packtool on the signed file"
"$PACKTOOL" list "$EXE" >"$OUT/list-unsigned.txt" || fail "packtool list of the unsigned file failed"
"$PACKTOOL" list "$SIGNED" >"$OUT/list-signed.txt" || fail "packtool list of the signed file failed"
cmp -s "$OUT/list-unsigned.txt" "$OUT/list-signed.txt" || fail "packtool lists the signed file differently"
"$PACKTOOL" verify "$SIGNED" >"$OUT/verify.txt" 2>/dev/null || fail "packtool verify of the signed file failed"
sed 's/^/   /' "$OUT/verify.txt"
grep -q '^signature: present ' "$OUT/verify.txt" || fail "packtool verify does not say that a signature is present"
"$PACKTOOL" verify "$EXE" 2>/dev/null | grep -qx 'signature: none' ||
    fail "packtool verify does not say that the unsigned file has no signature"
if "$PACKTOOL" pack --append-to "$SIGNED" "$OUT/repacked.exe" "$OUT/list-signed.txt" 2>"$OUT/repack.err"; then
    fail "packtool packed onto a signed image"
fi
[ ! -e "$OUT/repacked.exe" ] || fail "packtool wrote $OUT/repacked.exe although it refused"
echo "   packtool pack --append-to the signed file: $(cat "$OUT/repack.err")"

echo "== the signed installer through its install and uninstall"
bash "$ROOT/tests/e2e/walk_install.sh" registry --exe "$SIGNED" --packtool "$PACKTOOL" --probe "$PROBE" \
    --sample "$SAMPLE" --lit "$LIT" --out "$OUT/walk"
echo "== signed installer: passed in $((SECONDS - started)) s"
