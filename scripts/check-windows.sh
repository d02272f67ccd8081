#!/usr/bin/env bash
# Proves the Windows build under Wine, after scripts/build-windows.sh: every cross-built test
# passes; the installer installs silently into a fresh Wine prefix, and its program starts, stays
# up, makes the player's copy under %APPDATA%, uses it and saves into it; the zip, unpacked into another fresh
# prefix, starts, stays up and uses its own file; tessaly-data.exe passes the shipped file.
#   scripts/check-windows.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-windows
cache=${XDG_CACHE_HOME:-$HOME/.cache}/tessaly
package=$build/package
step() { printf '\n== %s\n' "$*"; }
fail() { printf 'check-windows: %s\n' "$*" >&2; exit 1; }

"$root/scripts/deps.sh" xvfb unzip xdotool sqlite3

work=$(mktemp -d)
cleanup() {
    for prefix in "$work"/prefix-*; do
        [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    done
    kill $(jobs -p) 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Wine draws the packaged programs' windows on a virtual screen of its own.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=$display
sleep 1

step "The tests under Wine"
# The tests draw offscreen; Wine's own windows (none are expected) would go to the screen above.
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure

# A fresh Wine prefix, copied from the one the build made, with nothing on the DLL path: the
# packaged program must bring every DLL and plugin it needs.
fresh_prefix() {
    local prefix=$work/prefix-$1
    cp -a "$cache/wineprefix" "$prefix"
    printf '%s' "$prefix"
}
in_prefix() {
    local prefix=$1
    shift
    env -u WINEPATH WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
}
user_folder() { printf '%s/drive_c/users/%s' "$1" "$(id -un)"; }

# The data files that the processes of one Wine prefix have open (Wine opens the host's file on
# the program's behalf). Only that prefix's processes count: another Tessaly running on the
# machine, a player's own or a leftover, has other files open.
open_data_files() {
    local prefix=$1 process
    for process in /proc/[0-9]*; do
        # Processes come and go while we look; one that has gone has nothing open.
        grep -qzxF "WINEPREFIX=$prefix" "$process/environ" 2>/dev/null || continue
        find "$process/fd" -lname '*newRunewords.mdb' -printf '%l\n' 2>/dev/null || true
    done | sort -u
}

# Starts a packaged program and waits until it has its data file open; sets pid and used, the
# file's path.
start() {
    local prefix=$1 program=$2
    in_prefix "$prefix" wine "$program" >"$work/program.log" 2>&1 &
    pid=$!
    used=""
    for _ in $(seq 1 60); do
        sleep 0.5
        kill -0 "$pid" 2>/dev/null || { cat "$work/program.log"; fail "$program did not stay up"; }
        used=$(open_data_files "$prefix" | head -n 1 || true)
        [ -z "$used" ] || return 0
    done
    fail "$program opened no data file"
}

# Asks the program to close, as the window's close button does, and sees it end cleanly.
stop() {
    local prefix=$1 status=0
    # Its window may not be up yet: ask until the program has ended.
    for _ in $(seq 1 30); do
        in_prefix "$prefix" wine taskkill /im tessaly.exe >/dev/null 2>&1 || true
        sleep 1
        kill -0 "$pid" 2>/dev/null || break
    done
    kill -0 "$pid" 2>/dev/null && fail "the program did not close when asked"
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || { cat "$work/program.log"; fail "the program ended with status $status"; }
}

# Starts the program, sees it stay up for five seconds, and closes it.
runs() {
    start "$@"
    sleep 5
    kill -0 "$pid" 2>/dev/null || { cat "$work/program.log"; fail "$2 did not stay up"; }
    stop "$1"
}

step "The installer"
installer=$(ls "$package"/tessaly-*-windows-amd64.exe)
prefix=$(fresh_prefix installer)
in_prefix "$prefix" wine "$installer" /S
installed=$(user_folder "$prefix")/AppData/Local/Programs/Tessaly
[ -f "$installed/tessaly.exe" ] || fail "nothing was installed in $installed"
[ ! -e "$installed/.portable" ] || fail "the installed program is marked portable"
[ -f "$installed/Uninstall.exe" ] || fail "the installer left no uninstaller"
[ "$(ls "$installed"/CRunes/crune*.gif | wc -l)" -ge 46 ] || fail "pictures are missing"
in_prefix "$prefix" wine "$installed/tessaly-data.exe" check "$installed/newRunewords.mdb"
copy=$(user_folder "$prefix")/AppData/Roaming/tessaly/newRunewords.mdb
runs "$prefix" "$installed/tessaly.exe"
echo "The installed program uses $used"
[ "$used" = "$copy" ] || fail "the installed program does not use the player's copy $copy"
in_prefix "$prefix" wine "$installed/tessaly-data.exe" check "$copy"

# A save from the keyboard, as a player makes one: File > save > Save1, a few letters added to
# the name, and Enter for OK. It lands in the player's copy.
start "$prefix" "$installed/tessaly.exe"
window=""
for _ in $(seq 1 30); do
    window=$(xdotool search --name '^Tessaly$' 2>/dev/null | head -n 1 || true)
    [ -z "$window" ] || break
    sleep 1
done
[ -n "$window" ] || fail "the installed program showed no window"
sleep 2
xdotool windowfocus "$window"
sleep 0.5
xdotool key --delay 400 alt+f Down Right Return
sleep 2
xdotool type --delay 50 " from Wine"
xdotool key Return
saved=""
for _ in $(seq 1 20); do
    saved=$(sqlite3 "$copy" "SELECT saveName FROM saves WHERE savenumber = 1" 2>/dev/null || true)
    case $saved in *" from Wine") break ;; esac
    sleep 1
done
stop "$prefix"
case $saved in
*" from Wine") echo "Saved into the player's copy: slot 1 is now \"$saved\"" ;;
*) fail "no save reached the player's copy (slot 1 is \"$saved\")" ;;
esac
# The uninstaller runs on from a copy of itself, and returns at once.
in_prefix "$prefix" wine "$installed/Uninstall.exe" /S
for _ in $(seq 1 30); do
    [ -e "$installed/tessaly.exe" ] || break
    sleep 1
done
[ ! -e "$installed/tessaly.exe" ] || fail "the uninstaller left the program"
[ -f "$copy" ] || fail "the uninstaller removed the player's copy"

step "The portable zip"
zip=$(ls "$package"/tessaly-*-windows-amd64.zip)
prefix=$(fresh_prefix zip)
unzip -q "$zip" -d "$work/zip"
folder=$(ls -d "$work"/zip/tessaly-*)
[ -f "$folder/.portable" ] || fail "the zip's folder is not marked portable"
runs "$prefix" "$folder/tessaly.exe"
echo "The zip's program uses $used"
[ "$used" = "$folder/newRunewords.mdb" ] || fail "the zip's program does not use its own file"
[ ! -e "$(user_folder "$prefix")/AppData/Roaming/tessaly" ] ||
    fail "the zip's program made a copy under %APPDATA%"

step "Twenty starts and exits in a row"
for run in $(seq 1 20); do
    start "$prefix" "$folder/tessaly.exe"
    stop "$prefix"
    printf '%d ' "$run"
done
echo

step "Done"
