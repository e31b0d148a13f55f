#!/usr/bin/env bash
# Packs the installer with NSIS; with a certificate and its key, the uninstaller and the installer
# are signed with osslsigncode as NSIS makes them (the saver is signed as it is linked).
# Usage: make-installer.sh VERSION SAVER.scr LICENSE OUT.exe [CERTIFICATE.pem KEY.pem]
set -euo pipefail
here=$(dirname "$(realpath "$0")")
version=$1 scr=$2 licence=$3 out=$4 certificate=${5:-} key=${6:-}
defines=(-DVERSION="$version" -DSCR="$scr" -DLICENSE="$licence" -DOUTFILE="$out")
if [[ -n $certificate ]]; then
  defines+=(-DSIGN="$here/sign.sh $certificate $key")
fi
makensis -V2 -NOCD "${defines[@]}" "$here/zibbles.nsi"
