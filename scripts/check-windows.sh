#!/usr/bin/env bash
# Proves the Windows build under Wine, after scripts/build-windows.sh: every cross-built test
# passes; the installer installs silently into a fresh Wine prefix, and its program starts, stays
# up, makes the player's copy under %APPDATA%, uses it and saves into it; the zip, unpacked into another fresh
# prefix, starts, stays up and uses its own file; tessaly-data.exe passes the shipped file.
# In both, the package's tessaly-data.exe builds changed game data (names with letters outside
# ASCII) at C:\users\Zoë\Desktop\Stürme.mdb, the program imports it from the keyboard, lists the
# new names in Find runewords, and the player's file holds them with its saves unchanged.
#   scripts/check-windows.sh
#   SKIP_WINE_TESTS=1 scripts/check-windows.sh    # the packages alone, without the test suite
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-windows
cache=${XDG_CACHE_HOME:-$HOME/.cache}/tessaly
package=$build/package
step() { printf '\n== %s\n' "$*"; }
fail() { printf 'check-windows: %s\n' "$*" >&2; exit 1; }

"$root/scripts/deps.sh" xvfb unzip xdotool sqlite3 xclip x11-xserver-utils

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
# -noreset: the keyboard mapped below stays while no program is connected.
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
export DISPLAY=$display
for _ in $(seq 1 20); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.5
done
xdotool getdisplaygeometry >/dev/null 2>&1 || fail "the virtual screen $display did not come up"
# The names typed below hold letters that the screen's US keyboard lacks. xdotool would type each
# on a spare key mapped for the moment, which Wine presses and releases under different key codes:
# Qt, missing the release, takes the next such letter for a repeat of the first ("Sølvtøke").
# Keys of their own, mapped before Wine starts, get key codes of their own.
mapfile -t spare_keys < <(xmodmap -pke | awk 'NF == 3 && $2 > 8 { print $2 }')
letters=("oslash Ooblique" "aring Aring" "ae AE" "ediaeresis Ediaeresis" "udiaeresis Udiaeresis")
[ ${#spare_keys[@]} -ge ${#letters[@]} ] || fail "the virtual screen's keyboard has no spare keys"
for index in "${!letters[@]}"; do
    xmodmap -e "keycode ${spare_keys[$index]} = ${letters[$index]}"
done

if [ "${SKIP_WINE_TESTS:-0}" = 1 ]; then
    step "The tests under Wine: skipped (SKIP_WINE_TESTS=1)"
else
    step "The tests under Wine"
    # The tests draw offscreen; Wine's own windows (none are expected) would go to the screen above.
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure
fi

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

# The ids of the shown windows whose title matches $1 (an extended regular expression).
windows_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; }
shown_windows() {
    local id
    for id in $(windows_named .); do
        printf '  window "%s"\n' "$(xdotool getwindowname "$id" 2>/dev/null || true)"
    done
}

# Waits up to $2 seconds for a shown window titled $1, other than the windows given after it,
# and prints its id; while the program started last is up. Names the shown windows when none
# came.
await_window() {
    local title=$1 limit=$2 id
    shift 2
    for _ in $(seq 1 $((limit * 2))); do
        for id in $(windows_named "$title"); do
            [[ " $* " == *" $id "* ]] || { printf '%s' "$id"; return 0; }
        done
        kill -0 "$pid" 2>/dev/null || { cat "$work/program.log" >&2; return 1; }
        sleep 0.5
    done
    echo "No window \"$title\" within $limit s; shown:" >&2
    shown_windows >&2
    return 1
}

# Waits up to $2 seconds for the window $1 to go.
await_gone() {
    for _ in $(seq 1 $(($2 * 2))); do
        [[ " $(windows_named .) " == *" $1 "* ]] || return 0
        sleep 0.5
    done
    return 1
}

# Presses Ctrl+C in the window $1 until the X clipboard, where Wine puts what a program copies,
# holds $2; at most ten times, a second apart. Sets copied to what it holds.
copies() {
    local window=$1 wanted=$2
    copied=""
    for _ in $(seq 1 10); do
        xdotool windowfocus "$window" 2>/dev/null || true
        sleep 0.3
        xdotool key ctrl+c
        sleep 1
        copied=$(timeout 10 xclip -o -selection clipboard -t UTF8_STRING 2>/dev/null || true)
        [[ $copied == *"$wanted"* ]] && return 0
    done
    return 1
}

# Starts the program, sees it stay up for five seconds, and closes it.
runs() {
    start "$@"
    sleep 5
    kill -0 "$pid" 2>/dev/null || { cat "$work/program.log"; fail "$2 did not stay up"; }
    stop "$1"
}

# Changed game data, from the project's own sources: a runeword renamed, one added and a rune
# renamed, all to names with letters outside ASCII. saves.txt only fills the new file's slots; an
# import keeps the player's.
sources=$work/sources
mkdir -p "$sources"
cp "$root"/gamedata/{runes,runewords,saves}.txt "$root/gamedata/schema.sql" "$sources/"
renamed=Ørkenvind added=Sølvtåke rune=Ælv
sed -i "s/^runeword Driftglass\$/runeword $renamed/" "$sources/runewords.txt"
sed -i "s/^  name: Ebb\$/  name: $rune/" "$sources/runes.txt"
printf '\nruneword %s\n  runes: 1\n  types: armor\n  text:\n    > Needs level 2\n    > +5 to vitality\n' \
    "$added" >>"$sources/runewords.txt"
grep -qx "runeword $renamed" "$sources/runewords.txt" && grep -qx "  name: $rune" "$sources/runes.txt" ||
    fail "the game data's sources no longer hold Driftglass and Ebb"
# Where a player may keep it: a folder and a file named with letters outside ASCII.
import_path='C:\users\Zoë\Desktop\Stürme.mdb'
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# How many of the new runewords the data file $1 holds, and its rune 1's name.
new_runewords() {
    sqlite3 "$1" "SELECT count(*) FROM RuneWords WHERE RuneWordName IN ('$renamed', '$added')"
}
first_rune() { sqlite3 "$1" "SELECT Runename FROM runes WHERE Runenumber = 1"; }

# The package's own data tool builds the data file in the prefix $1 and passes it.
build_data_file() {
    local prefix=$1 tool=$2 file=$1/drive_c/users/Zoë/Desktop/Stürme.mdb
    mkdir -p "$(dirname "$file")"
    in_prefix "$prefix" wine "$tool" build "$(windows_path "$sources")" "$import_path" \
        >"$work/tool.log" 2>&1 || { cat "$work/tool.log"; fail "$tool did not build $import_path"; }
    in_prefix "$prefix" wine "$tool" check "$import_path" >>"$work/tool.log" 2>&1 ||
        { cat "$work/tool.log"; fail "$tool does not pass $import_path"; }
    [ "$(new_runewords "$file")" = 2 ] || fail "$import_path lacks the new runewords"
    echo "$(basename "$tool") built and passed $import_path"
}

# The ten slots of a data file: number, name and runes.
saves_of() {
    sqlite3 "$1" "SELECT savenumber, saveName, (SELECT group_concat(runenumber) FROM
        (SELECT runenumber FROM ownedRunes o WHERE o.savenumber = s.savenumber ORDER BY 1))
        FROM saves s ORDER BY savenumber"
}

# Imports the data file into the program started last, from the keyboard: through the Runes
# menu (how=menu) or the Game data window's Import... button (how=window). The file dialog is
# Wine's own, and the path is typed into its file name box.
import_from_keyboard() {
    local how=$1 main gamedata="" dialog notice
    main=$(await_window '^Tessaly$' 60) || fail "the program showed no window"
    sleep 2
    xdotool windowfocus "$main"
    sleep 0.5
    if [ "$how" = menu ]; then
        # Runes opens on its first item, Find runewords; Down passes the separator.
        xdotool key --delay 400 alt+r Down Return
    else
        xdotool key --delay 400 alt+r Down Down Return
        gamedata=$(await_window '^Game data$' 30) || fail "Runes > Game data... showed no window"
        sleep 1
        xdotool windowfocus "$gamedata"
        sleep 0.5
        # The window opens on Show in folder; Import... comes next.
        xdotool key --delay 300 Tab space
    fi
    dialog=$(await_window '^Import game data$' 30) || fail "the import showed no file dialog"
    sleep 2
    xdotool windowfocus "$dialog"
    sleep 0.5
    xdotool type --delay 50 "$import_path"
    sleep 0.5
    xdotool key Return
    # The program answers in a message box titled as its main window; Ctrl+C copies its text.
    notice=$(await_window '^Tessaly$' 120 "$main") || fail "the import gave no answer"
    sleep 1
    copies "$notice" "The game data" ||
        { shown_windows; fail "the import's message could not be read (copied: \"$copied\")"; }
    printf '%s\n' "$copied" | grep -v -e '^---' -e '^OK' -e '^Tessaly' -e '^ *$'
    [[ $copied == *"is in use now"* ]] || fail "the import failed"
    xdotool windowfocus "$notice"
    sleep 0.3
    xdotool key Return
    await_gone "$notice" 20 || fail "the import's message did not close"
    if [ -n "$gamedata" ]; then
        xdotool windowfocus "$gamedata"
        sleep 0.3
        xdotool key Escape
        await_gone "$gamedata" 20 || fail "the Game data window did not close"
    fi
}

# Find runewords (Ctrl+F) lists each new runeword: its name typed into Gives, the rows it leaves
# selected and copied (Down, Ctrl+A, Ctrl+C). A row copies as name, missing runes, runes, ...
lists_new_runewords() {
    local main find name row
    main=$(await_window '^Tessaly$' 30) || fail "the program's window has gone"
    xdotool windowfocus "$main"
    sleep 0.5
    xdotool key ctrl+f
    find=$(await_window '^Find runewords$' 30) || fail "Ctrl+F showed no Find runewords window"
    sleep 1
    for row in "$added"$'\t'"$rune" "$renamed"$'\t'Lune; do
        name=${row%%$'\t'*}
        xdotool windowfocus "$find"
        sleep 0.3
        # Ctrl+F goes to Gives and selects its text, which the name then replaces.
        xdotool key ctrl+f
        xdotool type --delay 50 "$name"
        xdotool key --delay 200 Down ctrl+a
        copies "$find" "$row" || fail "Find runewords does not list \"$row\" (copied: \"$copied\")"
        echo "Find runewords lists: $(printf '%s\n' "$copied" | grep -F "$name" | tr '\t' '|')"
    done
    # Escape empties Gives, then closes the window.
    xdotool key --delay 300 Escape Escape
    await_gone "$find" 20 || fail "Find runewords did not close"
}

# The player's file $1 holds the new game data, named after the file and marked imported, the
# saves $2 it held before, and the file it replaced beside it.
holds_imported_data() {
    local file=$1 saves=$2
    [ "$(new_runewords "$file")" = 2 ] || fail "$file lacks the new runewords"
    [ "$(sqlite3 "$file" "SELECT count(*) FROM RuneWords WHERE RuneWordName = 'Driftglass'")" = 0 ] ||
        fail "$file still holds the renamed runeword's old name"
    [ "$(first_rune "$file")" = "$rune" ] || fail "$file lacks the renamed rune"
    [ "$(sqlite3 "$file" "SELECT name FROM gameDataInfo WHERE imported > ''")" = Stürme ] ||
        fail "$file is not marked as holding the imported Stürme"
    [ "$(saves_of "$file")" = "$saves" ] || fail "the import changed the saves in $file"
    [ "$(saves_of "$file" | wc -l)" = 10 ] || fail "$file does not hold ten saves"
    [ -f "$file.before-import" ] || fail "the import kept no $file.before-import"
    [ "$(first_rune "$file.before-import")" = Ebb ] ||
        fail "$file.before-import does not hold the game data it replaced"
    echo "$file holds the imported game data and its ten saves; the file it replaced is kept"
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
window=$(await_window '^Tessaly$' 30) || fail "the installed program showed no window"
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

# Game data imported from the keyboard, through the Runes menu, into the player's copy.
build_data_file "$prefix" "$installed/tessaly-data.exe"
saves=$(saves_of "$copy")
start "$prefix" "$installed/tessaly.exe"
import_from_keyboard menu
holds_imported_data "$copy" "$saves"
lists_new_runewords
stop "$prefix"
checked=$(in_prefix "$prefix" wine "$installed/tessaly-data.exe" check "$copy")
[[ $checked == *", imported "* ]] || fail "tessaly-data.exe does not see the player's copy as imported: $checked"
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

# Game data imported from the keyboard, through the Game data window, into the zip's own file;
# its first import keeps the shipped data beside it for Restore.
build_data_file "$prefix" "$folder/tessaly-data.exe"
saves=$(saves_of "$folder/newRunewords.mdb")
start "$prefix" "$folder/tessaly.exe"
import_from_keyboard window
holds_imported_data "$folder/newRunewords.mdb" "$saves"
lists_new_runewords
stop "$prefix"
[ "$(first_rune "$folder/newRunewords.mdb.shipped")" = Ebb ] ||
    fail "the zip's first import kept no newRunewords.mdb.shipped with the shipped game data"
[ ! -e "$(user_folder "$prefix")/AppData/Roaming/tessaly" ] ||
    fail "the zip's program made a copy under %APPDATA% while importing"

step "Twenty starts and exits in a row"
for run in $(seq 1 20); do
    start "$prefix" "$folder/tessaly.exe"
    stop "$prefix"
    printf '%d ' "$run"
done
echo

step "Done"
