#!/usr/bin/env bash
# The Debian package as a user gets it: `make package` builds it, lintian finds no error in it,
# it unpacks to the expected files, and its hack runs in the real screen-saver daemon and in the
# settings dialog's preview.
# Usage: package.sh BUILD_DIR VERSION [SCREENSHOT.png]
set -uo pipefail
build=$1 version=$2 screenshot=${3:-}
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
source "$repo/tests/system/lib/steps.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
step_logs "$work/cpack.log" "$work/lintian.log"

deb="$build/zibbles_${version}_$(dpkg --print-architecture).deb"
rm -f "$deb"
package_builds() {
  cmake --build "$build" --target package >"$work/cpack.log" 2>&1 && test -f "$deb" || return 1
  measured package "$(basename "$deb"), $(stat -c %s "$deb") bytes"
}
check "the package builds" package_builds || finish

lintian_clean() { lintian --no-cfg --fail-on error "$deb" >"$work/lintian.log" 2>&1; }
check "lintian reports no error" lintian_clean
grep -v "running with root privileges" "$work/lintian.log"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
check "Depends names the libraries the binaries need" bash -c "[[ '$depends' == *libcurl* && '$depends' == *libsdl2* && '$depends' == *libc6* ]]"
check "Recommends the daemon" test "$(dpkg-deb -f "$deb" Recommends)" = xscreensaver

dpkg-deb -x "$deb" "$work/root"
(cd "$work/root" && find . ! -type d | sort) >"$work/files"
cat >"$work/expected" <<'FILES'
./usr/bin/zibbles
./usr/bin/zibbles-inspect
./usr/bin/zibbles-render
./usr/lib/systemd/user/zibbles-idle.service
./usr/libexec/xscreensaver/zibbles
./usr/libexec/zibbles/zibbles-idle
./usr/share/doc/zibbles/changelog.gz
./usr/share/doc/zibbles/copyright
./usr/share/man/man1/zibbles-inspect.1.gz
./usr/share/man/man1/zibbles-render.1.gz
./usr/share/man/man6/zibbles.6.gz
./usr/share/xscreensaver/config/zibbles.xml
FILES
check "the package holds exactly the expected files" diff -u "$work/expected" "$work/files"
check "/usr/bin/zibbles is a link to the hack" \
  test "$(readlink -f "$work/root/usr/bin/zibbles")" = "$work/root/usr/libexec/xscreensaver/zibbles"
check "the packaged programs say their version" bash -c "
  '$work/root/usr/bin/zibbles-render' --version | head -1 | grep -qx 'zibbles-render $version' &&
  '$work/root/usr/bin/zibbles-inspect' --version | head -1 | grep -qx 'zibbles-inspect $version' &&
  '$work/root/usr/bin/zibbles' --version | grep -q '^endpoint: http'"
# Without any session, the launcher the packaged zibbles execs says there is no idle source.
check "the packaged zibbles finds its idle launcher" bash -c "
  env -i PATH=/usr/bin:/bin XDG_RUNTIME_DIR=/nonexistent DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
    '$work/root/usr/bin/zibbles' --idle 2 2>&1 | grep -q 'offers no idle source'"
check "the changelog names this version" bash -c "zcat '$work/root/usr/share/doc/zibbles/changelog.gz' | head -1 | grep -q '^zibbles ($version)'"

# The packaged hack, where the unprivileged daemon and dialog can read it.
chmod -R a+rX "$work"
check "the packaged hack runs in the daemon" "$repo/tests/system/x11/xscreensaver-e2e.sh" "$work/root/usr/libexec/xscreensaver/zibbles"
check "the packaged hack runs in the settings preview" \
  "$repo/tests/system/x11/xscreensaver-settings.sh" "$work/root/usr/libexec/xscreensaver/zibbles" "${screenshot:-$work/settings.png}"

finish
