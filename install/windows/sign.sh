#!/usr/bin/env bash
# Signs a Windows program in place with osslsigncode (Authenticode, SHA-256).
# Usage: sign.sh CERTIFICATE.pem KEY.pem FILE
set -euo pipefail
certificate=$1 key=$2 file=$3
signed="$file.signed"
rm -f "$signed"
osslsigncode sign -certs "$certificate" -key "$key" -h sha256 -n "Zibbles" -in "$file" -out "$signed" \
  >/dev/null
mv -f "$signed" "$file"
