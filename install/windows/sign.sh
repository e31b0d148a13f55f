#!/usr/bin/env bash
# Signs a Windows program in place with osslsigncode (Authenticode, SHA-256), replacing a
# signature it had; without a certificate, takes the signature it had away.
# Usage: sign.sh [CERTIFICATE.pem KEY.pem] FILE
set -euo pipefail
file=${!#}
unsigned="$file.unsigned"
signed="$file.signed"
rm -f "$unsigned" "$signed"
if command -v osslsigncode >/dev/null &&
  osslsigncode remove-signature -in "$file" -out "$unsigned" >/dev/null 2>&1; then
  mv -f "$unsigned" "$file"
fi
rm -f "$unsigned"
[[ $# -eq 3 ]] || exit 0
certificate=$1 key=$2
osslsigncode sign -certs "$certificate" -key "$key" -h sha256 -n "Zibbles" -in "$file" -out "$signed" \
  >/dev/null
mv -f "$signed" "$file"
