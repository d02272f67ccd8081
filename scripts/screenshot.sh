#!/usr/bin/env bash
# Takes the README's screenshot from the running program: a copy of the built program folder
# (so that no saves are touched), under a virtual X server with only the fonts of a fresh
# Debian 12 and the program's own, with a few runes owned, a search made and a runeword picked.
# usage: scripts/screenshot.sh [OUTPUT.png] [SCALE]
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-docs/screenshot.png}
scale=${2:-1}
scripts/deps.sh xvfb xdotool imagemagick
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target tessaly >/dev/null

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
cp -r build/bin/tessaly build/bin/.portable build/bin/newRunewords.mdb build/bin/CRunes build/bin/fonts "$work/"
# Only the fonts of a fresh Debian 12 desktop, and the program's own.
mkdir "$work/system-fonts"
for font in DejaVuSans DejaVuSans-Bold DejaVuSansMono DejaVuSansMono-Bold DejaVuSerif \
    DejaVuSerif-Bold; do
    ln -s "/usr/share/fonts/truetype/dejavu/$font.ttf" "$work/system-fonts/"
done
cat >"$work/fonts.conf" <<CONF
<?xml version="1.0"?>
<fontconfig>
  <dir>$work/system-fonts</dir>
  <cachedir>$work/font-cache</cachedir>
  <include ignore_missing="yes">/etc/fonts/conf.d</include>
</fontconfig>
CONF
export FONTCONFIG_FILE=$work/fonts.conf
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
export DISPLAY=$display
sleep 1
QT_SCALE_FACTOR=$scale "$work/tessaly" >/dev/null 2>&1 &
window=$(xdotool search --sync --onlyvisible --name '^Tessaly$' | head -n 1)
sleep 1

# Points of the client area, in pixels at scale 1, below the menu bar.
menu=$(( $(xdotool getwindowgeometry --shell "$window" | sed -n 's/^HEIGHT=//p') - 485 * scale ))
click() { xdotool mousemove --window "$window" $(( $1 * scale )) $(( $2 * scale + menu )) click 1; sleep 0.2; }
tile() { click $(( 8 + 40 * (($1 - 1) % 10) + 15 )) $(( 16 + 48 * (($1 - 1) / 10) + 15 )); }
for rune in 1 2 3 4 5 6 7 9 12 16; do tile "$rune"; done
click 464 468        # Search
click 470 300        # the first runeword listed
sleep 0.5
import -window "$window" "$output"
echo "wrote $output"
