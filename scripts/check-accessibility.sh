#!/usr/bin/env bash
# Reads the running program as a screen reader does, through AT-SPI on a virtual display: every
# tile is a check box named after its rune; after clicks on tiles 1 and 5 exactly those two are
# checked; a runeword shown from the list checks its runes; revert gives the player's set back.
# Usage: scripts/check-accessibility.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scripts/deps.sh xvfb dbus at-spi2-core python3-pyatspi
work=$(mktemp -d)
trap 'kill "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

cat >"$work/check.py" <<'EOF'
import sys, time, pyatspi

def application():
    for _ in range(60):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == 'tessaly':
                return app
        time.sleep(0.5)
    sys.exit('the program is not on the accessibility bus')

def nodes(node):
    yield node
    for child in node:
        if child is not None:
            yield from nodes(child)

def click(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(box.x + box.width // 2, box.y + box.height // 2, 'b1c')
    time.sleep(0.5)

everything = list(nodes(application()))
tiles = [n for n in everything if n.getRoleName() == 'check box' and n.description.startswith('rune ')]
tiles.sort(key=lambda n: int(n.description.split()[1]))
def checked():
    return [k + 1 for k, tile in enumerate(tiles) if tile.getState().contains(pyatspi.STATE_CHECKED)]
failures = []
def expect(what, seen, wanted):
    print('%s: %s' % (what, seen))
    if seen != wanted:
        failures.append('%s: %s, not %s' % (what, seen, wanted))

expect('tiles', len(tiles), 46)
names = [t.name for t in tiles]
labels = [n.name for n in everything if n.getRoleName() == 'label' and n.name in names]
print('names:', ' '.join(names))
expect('names as the labels show them', labels, names)
expect('checked after start-up', checked(), [])
click(tiles[0])
click(tiles[4])
expect('checked after clicks on tiles 1 and 5', checked(), [1, 5])
runewords = next(n for n in everything if n.getRoleName() == 'list' and n.name == 'Runewords')
click(runewords.getChildAtIndex(0))
print('checked while %s is shown: %s' % (runewords.getChildAtIndex(0).name, checked()))
if checked() in ([], [1, 5]):
    failures.append('the shown runeword did not reach the board')
click(next(n for n in everything if n.getRoleName() == 'push button' and n.name == 'revert'))
expect('checked after revert', checked(), [1, 5])
sys.exit('\n'.join(failures) if failures else 0)
EOF

Xvfb :77 -screen 0 1024x768x24 >"$work/xvfb.log" 2>&1 &
xvfb=$!
sleep 1
export DISPLAY=:77 HOME="$work/home" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
# The program's own session bus and accessibility bus, gone with it.
dbus-run-session -- bash -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$0/bus.log" 2>&1 &
    sleep 1
    QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$1/bin/tessaly" >"$0/app.log" 2>&1 &
    app=$!
    sleep 3
    status=0
    /usr/bin/python3 "$0/check.py" || status=$?
    kill $app
    exit $status
' "$work" "$PWD/$build"
