#!/usr/bin/env bash
# The "wine" fixture of the Windows build's tests: up makes a fresh prefix on a private X server
# with a warm wineserver; down ends both. Usage: wine-fixture.sh up|down BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/../lib/wine-lib.sh"
[[ -x $wine64 ]] || { echo "Wine is missing (scripts/install-deps)"; exit 77; }
folder="$2/wine"
case $1 in
up)
  started=$(clock_ms)
  wine_make_prefix "$folder" 1024x768
  echo "fresh prefix in $(seconds $(($(clock_ms) - started))) s on $DISPLAY"
  ;;
down)
  wine_end_prefix "$folder"
  echo "ended"
  ;;
esac
