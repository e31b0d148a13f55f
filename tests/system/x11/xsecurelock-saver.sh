#!/usr/bin/env bash
# The saver as another locker's saver module: xsecurelock's per-monitor helper, saver_multiplex,
# on a private X server, runs the hack in a window of its own, named in decimal in
# XSCREENSAVER_WINDOW. The figure must show, and SIGTERM to the helper's process group (what the
# locker sends when the screen is unlocked) must end the helper and the hack by the deactivation
# rule of xscreensaver-lib.sh, the signal being this script's own.
# Usage: xsecurelock-saver.sh ZIBBLES_BINARY FIGURE_FILE   (as root: it switches to uid 65534)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/xscreensaver-lib.sh"
multiplex=/usr/libexec/xsecurelock/saver_multiplex
helper_pid=""
xs_prepare 1 640x400 xwininfo "$multiplex"
trap '[ -n "$helper_pid" ] && kill -TERM -- "-$helper_pid" 2>/dev/null; xs_cleanup' EXIT
step_logs "$work/helper.log"
# The uid the helper runs as reads its own copies.
mkdir -p "$work/hacks"
cp "$1" "$work/hacks/zibbles"
cp "$2" "$work/hacks/figure.svg"
cp "$xs_repo/tests/system/lib/lsan-desktop.supp" "$work/hacks/"
chmod -R a+rX "$work/hacks"
# A module is run with no arguments of ours: a wrapper that execs the hack gives it the figure.
cat >"$work/hacks/saver_zibbles" <<EOF
#!/bin/sh
exec $work/hacks/zibbles --no-network --figure $work/hacks/figure.svg "\$@"
EOF
chmod 755 "$work/hacks/saver_zibbles"

root=$(xwininfo -root | awk '/Window id:/ { print $4 }')
# setsid makes the helper a process group's leader, as the locker does: its pid is the group's.
setpriv --reuid="$xs_nobody" --regid="$xs_nobody" --clear-groups \
  env -i DISPLAY="$DISPLAY" HOME="$work" PATH=/usr/bin:/bin XSCREENSAVER_WINDOW="$((root))" \
  XSECURELOCK_SAVER="$work/hacks/saver_zibbles" \
  LSAN_OPTIONS="suppressions=$work/hacks/lsan-desktop.supp" \
  setsid "$multiplex" >"$work/helper.log" 2>&1 &
helper_pid=$!

check "the helper runs the hack" wait_for 10 xs_hack_running
hack=$(xs_hack_pids | head -n 1)
given=$(tr '\0' '\n' 2>/dev/null <"/proc/$hack/environ" | sed -n 's/^XSCREENSAVER_WINDOW=//p')
own_decimal_window() {
  measured XSCREENSAVER_WINDOW "$given (the root: $((root)))"
  [[ $given =~ ^[0-9]+$ && $given -ne $((root)) ]]
}
check "the helper gives the hack a window of its own, in decimal" own_decimal_window
check "a figure shows" wait_for 20 xs_figure_shown

since=$(clock_ms)
kill -TERM -- "-$helper_pid"
check "SIGTERM to the helper's group ends helper and hack" ends_after_signal "$xs_end_bound_ms" "$since" - "$helper_pid" "$hack"
wait "$helper_pid" 2>/dev/null
helper_pid=""
check "the hack stopped by its own quit path" grep -q "frames presented" "$work/helper.log"
check "no sanitizer report from the hack" bash -c "! grep -E 'Sanitizer|runtime error' '$work/helper.log'"
finish
