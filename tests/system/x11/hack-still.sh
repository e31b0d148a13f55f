#!/usr/bin/env bash
# A hack whose view is too small for the sprite to move presents its first frame and then nothing,
# by its own trace, over a few seconds on a private X server.
# Usage: hack-still.sh ZIBBLES_BINARY FIGURE_FILE
set -uo pipefail
binary=$1
figure=$2
source "$(dirname "$0")/../lib/steps.sh"
source "$(dirname "$0")/../lib/x11-lib.sh"
# 30 points wide: narrower than the sprite, which is about an eighth of the height.
host_server 30x300
start_host --root --seed 3 --no-network --figure "$figure" --trace "$work/trace"
# presents CONDITION: the hack's presents so far are so many (">= 1").
presents() {
  local count
  count=$(grep -c '"frame.presented"' "$work/trace" 2>/dev/null)
  measured presents "${count:-0}"
  let "${count:-0} $1"
}
check "the hack presents its first frame" wait_for 10 presents ">= 1"
sleep 3
check "... and nothing more in the next 3 s" presents "== 1"
sigterm_ends_host
finish
