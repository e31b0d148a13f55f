# shellcheck shell=bash
# Wine for the Windows build's tests (sourced, not run): a prefix of the build's own, made fresh
# by the "wine" fixture, a wineserver kept warm between programs, a private X server, and every
# Wine call bounded in time. Wine 8 here is 64-bit only: the programs are x86-64. The scripts
# count named steps (steps.sh).
source "$(dirname "${BASH_SOURCE[0]}")/steps.sh"

wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEDEBUG=-all
# No prompts for Mono or Gecko, which nothing here needs.
export WINEDLLOVERRIDES="mscoree,mshtml="

# wine_build_dir: the build tree of the Windows build, from a folder inside it.
wine_build_dir() {
  local dir
  dir=$(realpath -m "${1:-$PWD}")
  while [[ $dir != / && ! -f $dir/CMakeCache.txt ]]; do dir=$(dirname "$dir"); done
  [[ -f $dir/CMakeCache.txt ]] || return 1
  echo "$dir"
}

# wine_use_prefix FOLDER: the prefix and the X display that programs run with, as the fixture
# left them in FOLDER (prefix/ and display).
wine_use_prefix() {
  export WINEPREFIX="$1/prefix"
  if [[ -z ${DISPLAY:-} && -s $1/display ]]; then
    DISPLAY=$(cat "$1/display")
    export DISPLAY
  fi
}

# wine_make_prefix FOLDER WxH: a fresh prefix in FOLDER/prefix on a private Xvfb of that size
# (its pid in FOLDER/xvfb.pid, its display in FOLDER/display), with a wineserver that stays up
# until wine_end_prefix. Without a window manager Wine waits 2 s on each DestroyWindow unless its
# windows are unmanaged.
wine_make_prefix() {
  local folder size=${2:-1024x768}
  folder=$(realpath -m "$1") # Wine takes only an absolute prefix
  mkdir -p "$folder"
  wine_end_prefix "$folder"
  rm -rf "$folder/prefix"
  source "$(dirname "${BASH_SOURCE[0]}")/x11-lib.sh"
  # Nothing started here may hold the caller's output open: ctest waits for it to close.
  start_xvfb "$size" "$folder" >/dev/null || { echo "Xvfb did not start" >&2; return 1; }
  echo "$xvfb_pid" >"$folder/xvfb.pid"
  echo "$DISPLAY" >"$folder/display"
  export WINEPREFIX="$folder/prefix"
  mkdir -p "$WINEPREFIX"
  # Started first, so that it is the server every program of the prefix uses; one started later
  # would find wineboot's still running and refuse.
  "$wineserver" -p >/dev/null 2>&1
  timeout 120 "$wine64" wineboot -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; return 1; }
  timeout 30 "$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine_start_services
}

# wine_set_dpi DPI: the prefix's DPI for programs started from now on (the server restarts to
# read it).
wine_set_dpi() {
  timeout 30 "$wine64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
    >/dev/null 2>&1 || return 1
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  "$wineserver" -p >/dev/null 2>&1
  wine_start_services
}

# wine_start_services: the prefix's services (winedevice, explorer), started by a program of no
# test's own. The first program after the server starts starts them, and they keep its standard
# output and error: a test's would then stay open, and ctest would wait for them until its
# timeout.
wine_start_services() {
  timeout 60 "$wine64" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# wine_end_prefix FOLDER: ends the prefix's wineserver and the X server.
wine_end_prefix() {
  local folder=$1
  if [[ -d $folder/prefix ]]; then
    WINEPREFIX="$folder/prefix" "$wineserver" -k 2>/dev/null || true
  fi
  if [[ -s $folder/xvfb.pid ]]; then
    kill "$(cat "$folder/xvfb.pid")" 2>/dev/null || true
    rm -f "$folder/xvfb.pid" "$folder/display"
  fi
}

# wine_run SECONDS PROGRAM ARGS...: runs a Windows program, ended after SECONDS at the latest.
# Wine's own status is 0 even when it could not start the program: callers check results.
wine_run() {
  local seconds=$1
  shift
  timeout -k 5 "$seconds" "$wine64" "$@"
}

# wine_path UNIX_PATH: the path as a Windows program names it (Z: is the Unix root).
wine_path() {
  local absolute
  absolute=$(realpath -m "$1")
  echo "Z:${absolute//\//\\}"
}

# wine_ends BOUND_MS SINCE PID: the background program (a wine_run), told to end at SINCE (clock_ms
# taken just before the input, the signal or the file that ends it), ended within BOUND_MS; its
# exit status is then in wine_status. One that did not is ended, so that it spoils no later step.
wine_ends() {
  if ! ends_after_signal "$1" "$2" - "$3"; then
    kill "$3" 2>/dev/null
    return 1
  fi
  wine_status=0
  wait "$3" || wine_status=$?
  measured "exit status" "$wine_status"
}

# presents_reach TRACE N: the program's trace holds N presents or more (presents: how many).
presents_reach() {
  presents=$(grep -c '"frame.presented"' "$1" 2>/dev/null)
  measured presents "${presents:=0}"
  [[ $presents -ge $2 ]]
}

# wine_script_start PROGRAM: for a script test of a program of the Windows build: the build's
# prefix and display, and a work folder (work), kept when a step failed.
wine_script_start() {
  build=$(wine_build_dir "$(dirname "$1")") || exit 2
  wine_use_prefix "$build/wine"
  work=$(mktemp -d)
}
wine_script_end() {
  if [[ $failed -eq 0 ]]; then rm -rf "$work"; else echo "(kept $work)"; fi
}
