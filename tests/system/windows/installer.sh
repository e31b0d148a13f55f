#!/usr/bin/env bash
# The installer under Wine: /S installs silently, the saver lands byte for byte in System32 and
# runs from there, SCRNSAVE.EXE names it, Add/Remove Programs lists it; the uninstaller's /S (the
# QuietUninstallString) removes every file and key the installer added and gives the user back
# the saver it replaced.
# Usage: installer.sh INSTALLER ZIBBLES_SCR FIGURE VERSION
set -uo pipefail
installer=$1 scr=$2 figure=$3 version=$4
source "$(dirname "$0")/../lib/wine-lib.sh"
wine_script_start "$scr"
drive_c="$WINEPREFIX/drive_c"
saver_pid=""
desktop='HKCU\Control Panel\Desktop'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zibbles'
cleanup() {
  [[ -n $saver_pid ]] && kill "$saver_pid" 2>/dev/null
  wine_run 20 reg delete "$desktop" /v SCRNSAVE.EXE /f >/dev/null 2>&1
  wine_script_end
}
trap cleanup EXIT

# reg_value KEY NAME: the value's data as reg prints it, or nothing.
reg_value() {
  wine_run 20 reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
# reg_is KEY NAME DATA: the value's data is DATA.
reg_is() {
  local data
  data=$(reg_value "$1" "$2")
  measured "$2" "${data:-none}"
  [[ $data == "$3" ]]
}
key_exists() { wine_run 20 reg query "$1" >/dev/null 2>&1; }
# Every file and folder of drive C, Wine's own logs and caches left out.
files() { (cd "$drive_c" && find . -path ./windows/logs -prune -o -print | sort); }

# The user had another saver, not active.
wine_run 20 reg add "$desktop" /v SCRNSAVE.EXE /d 'C:\windows\system32\previous.scr' /f >/dev/null 2>&1
wine_run 20 reg add "$desktop" /v ScreenSaveActive /d 0 /f >/dev/null 2>&1
files >"$work/before.txt"
step_logs "$work/saver.err" "$work/left.txt"

check "/S installs silently" wine_run 120 "$installer" /S
check "the saver is in System32, byte for byte" cmp -s "$scr" "$drive_c/windows/system32/zibbles.scr"
check "SCRNSAVE.EXE names it" reg_is "$desktop" SCRNSAVE.EXE 'C:\windows\system32\zibbles.scr'
check "ScreenSaveActive is 1" reg_is "$desktop" ScreenSaveActive 1
check "Add/Remove Programs lists it" reg_is "$uninstall_key" DisplayName "Zibbles screen saver"
check "... with its version" reg_is "$uninstall_key" DisplayVersion "$version"
quiet=$(reg_value "$uninstall_key" QuietUninstallString)
check "... an UninstallString" test -n "$(reg_value "$uninstall_key" UninstallString)"
check "... and a QuietUninstallString with /S" eval '[[ $quiet == *"uninstall.exe\" /S" ]]'
check "the licence ships" test -s "$drive_c/Program Files/Zibbles/LICENSE.txt"

# The saver that SCRNSAVE.EXE names runs from System32.
wine_run 60 "$(reg_value "$desktop" SCRNSAVE.EXE)" /s --no-network \
  --figure "$(wine_path "$figure")" --trace "$(wine_path "$work/trace.jsonl")" 2>"$work/saver.err" &
saver_pid=$!
check "the installed saver runs from System32" wait_for 45 presents_reach "$work/trace.jsonl" 1
since=$(clock_ms)
xdotool key space
check "... and a key ends it" wine_ends 10000 "$since" "$saver_pid"
saver_pid=""

# As Add/Remove Programs runs it: the uninstaller copies itself away and returns at once, so what
# it leaves is waited for.
uninstaller=${quiet% /S}
uninstaller=${uninstaller//\"/}
wine_run 60 "$uninstaller" /S
gone() { ! key_exists "$uninstall_key" && [[ ! -e $drive_c/windows/system32/zibbles.scr ]] &&
  [[ ! -e "$drive_c/Program Files/Zibbles" ]]; }
check "the uninstaller's /S removes the saver, its folder and its key" wait_for 30 gone
check "the replaced saver is selected again" \
  reg_is "$desktop" SCRNSAVE.EXE 'C:\windows\system32\previous.scr'
check "... and ScreenSaveActive is as it was" reg_is "$desktop" ScreenSaveActive 0
check "the installer's memory of it is gone" eval '! key_exists "HKCU\Software\Zibbles"'
# The uninstaller's copy of itself in %TEMP% is marked to go at the next start of the system (as
# NSIS's uninstallers do on Windows too): a restart of the prefix carries that out.
check "the uninstaller left nothing but what goes at the next start" wine_run 60 wineboot -r
files >"$work/after.txt"
# What differs is this step's log.
left() {
  diff "$work/before.txt" "$work/after.txt" >"$work/left.txt" && return
  measured "files and folders left" "$(grep -c '^>' "$work/left.txt")"
  false
}
check "no file or folder is left behind" left
finish
