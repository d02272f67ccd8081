#!/usr/bin/env bash
# Takes the README's picture of the Find runewords window from the running program: a copy of
# the built program folder (so that no saves are touched), under a virtual X server, with a few
# runes owned, a search made, the window opened from the Runes menu and a word in Gives.
# usage: scripts/screenshot-find.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-docs/find.png}
scripts/deps.sh xvfb xdotool imagemagick
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target tessaly >/dev/null

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
cp -r build/bin/tessaly build/bin/.portable build/bin/newRunewords.mdb build/bin/CRunes "$work/"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
export DISPLAY=$display
sleep 1
"$work/tessaly" >/dev/null 2>&1 &
window=$(xdotool search --sync --onlyvisible --name '^Tessaly$' | head -n 1)
sleep 1

# Points of the client area, below the menu bar.
menu=$(( $(xdotool getwindowgeometry --shell "$window" | sed -n 's/^HEIGHT=//p') - 485 ))
click() { xdotool mousemove --window "$window" "$1" $(( $2 + menu )) click 1; sleep 0.2; }
tile() { click $(( 8 + 40 * (($1 - 1) % 10) + 15 )) $(( 16 + 48 * (($1 - 1) / 10) + 15 )); }
for rune in 1 2 3 4 5 6 8 9 12 16 19; do tile "$rune"; done
click 464 468        # Search
xdotool key --window "$window" ctrl+f
find=$(xdotool search --sync --onlyvisible --name '^Find runewords$' | head -n 1)
sleep 0.5
xdotool type --window "$find" --delay 50 cold   # Gives
xdotool key --window "$find" alt+m Up            # Missing at most: 2
sleep 0.5
import -window "$find" "$output"
echo "wrote $output"
