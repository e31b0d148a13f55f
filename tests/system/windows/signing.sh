#!/usr/bin/env bash
# Signing as `make windows SIGN_CERT=... SIGN_KEY=...` signs: with a certificate this test makes,
# the saver signed by install/windows/sign.sh and an installer packed by make-installer.sh (whose
# uninstaller NSIS signs as it makes it) pass `osslsigncode verify` against that certificate, and
# an unsigned program does not.
# Usage: signing.sh ZIBBLES_SCR
set -uo pipefail
scr=$1
here=$(dirname "$0")
install="$here/../../../install/windows"
source "$here/../lib/steps.sh"
for tool in openssl osslsigncode makensis; do
  command -v "$tool" >/dev/null || { echo "$tool is missing"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Zibbles test signer" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
cp "$scr" "$work/zibbles.scr"
step_logs "$work/verify.log"
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >>"$work/verify.log" 2>&1; }

check "an unsigned saver does not verify" eval '! verify "$work/zibbles.scr"'
check "sign.sh signs the saver" "$install/sign.sh" "$work/cert.pem" "$work/key.pem" "$work/zibbles.scr"
check "... and it verifies against the certificate" verify "$work/zibbles.scr"
check "make-installer.sh packs a signed installer" "$install/make-installer.sh" 0.0.0 \
  "$work/zibbles.scr" "$here/../../../LICENSE" "$work/zibbles-setup-0.0.0.exe" "$work/cert.pem" "$work/key.pem"
check "... and it verifies against the certificate" verify "$work/zibbles-setup-0.0.0.exe"
finish
