#!/usr/bin/env bash
# Proves the Debian package on a bare Debian 12. Builds the package; makes a minimal Debian 12
# root with debootstrap from the mirror this machine's apt uses; installs the package there
# with apt, which must bring every dependency; then, as an ordinary user of that root: starts
# the program offscreen and sees it stay up, finds the player's copy of the data file made and
# sound, installs a package with newer game data and sees the saves carried over, and removes
# the package and sees the copy left in place. Needs root (or sudo) for debootstrap and chroot;
# takes a few minutes on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
scripts/deps.sh debootstrap
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/package/tessaly_*_amd64.deb)
tool=$PWD/build/bin/tessaly-data

work=$(mktemp -d)
root=$work/root
# The processes running inside the root, by their process folders.
inside_root() {
    $sudo find /proc -mindepth 2 -maxdepth 2 -name root -lname "$root" -printf '%h\n' \
        2>/dev/null || true
}
cleanup() {
    kill $(jobs -p) 2>/dev/null || true
    # Whatever a failed step left running in the root must not outlive the check.
    for process in $(inside_root); do $sudo kill -9 "${process#/proc/}" 2>/dev/null || true; done
    if mountpoint -q "$root/proc" 2>/dev/null; then $sudo umount "$root/proc"; fi
    # Never remove a root that still has something mounted in it.
    if ! grep -q " $root/" /proc/mounts; then $sudo rm -rf "$work"; fi
}
trap cleanup EXIT
step() { echo "== $*"; }
fail() { echo "check-package: $*" >&2; exit 1; }

# The 46 rune pictures, and each again at twice the size.
pictures=$(dpkg-deb -c "$deb" | grep -o 'share/tessaly/CRunes/crune.*\.gif$')
[ "$(grep -vc @2x <<<"$pictures")" -eq 46 ] && [ "$(grep -c @2x <<<"$pictures")" -eq 46 ] ||
    fail "the package does not hold the 46 rune pictures and their 46 at twice the size"

mirror=$(grep -rhE '^(deb[[:space:]]|URIs:)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null |
    grep -oE 'https?://[^[:space:]]*/debian/?' | grep -v security | head -n 1 || true)
mirror=${mirror:-http://deb.debian.org/debian}
step "making a minimal Debian 12 root from $mirror"
$sudo debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" ||
    { tail -n 20 "$work/debootstrap.log"; fail "debootstrap failed"; }
$sudo cp /etc/resolv.conf "$root/etc/resolv.conf"
$sudo mount -t proc proc "$root/proc"
in_root() { $sudo chroot "$root" env DEBIAN_FRONTEND=noninteractive "$@"; }
# chroot and env each exec what they are given, so a command started with this is the process
# that runs it.
player=(chroot --userspec=player:player "$root"
    env HOME=/home/player XDG_RUNTIME_DIR=/tmp/player QT_QPA_PLATFORM=offscreen)
as_player() { $sudo "${player[@]}" "$@"; }
copy=/home/player/.local/share/tessaly/newRunewords.mdb
in_root useradd --create-home player
in_root install -d -o player -g player -m 700 /tmp/player

# The program starts, stays up for five seconds and is then stopped; nothing runs after it.
runs() {
    # Not through the as_player function: a function in the background is a shell of its own,
    # and stopping that shell would leave the program running.
    $sudo "${player[@]}" tessaly >"$work/tessaly.log" 2>&1 &
    local app=$! left
    sleep 5
    kill -0 "$app" 2>/dev/null || { cat "$work/tessaly.log"; fail "the program did not stay up"; }
    kill "$app"
    wait "$app" 2>/dev/null || true
    left=$(inside_root)
    [ -z "$left" ] || fail "processes still run in the root after the program stopped: $left"
}

step "installing $(basename "$deb") with apt"
$sudo cp "$deb" "$root/tmp/"
in_root apt-get update -qq
in_root apt-get install -y -qq "/tmp/$(basename "$deb")" >"$work/install.log" 2>&1 ||
    { tail -n 20 "$work/install.log"; fail "apt could not install the package"; }

step "first start: the player's copy is made"
runs
as_player test -f "$copy" || fail "no copy at $copy"
as_player tessaly-data check "$copy"

# The player saves runes in slot 1: the copy is rebuilt from its own export with that slot.
as_player tessaly-data export "$copy" /home/player/mine >/dev/null
$sudo sed -i '/^save 1$/,/^$/{s/^  name: .*/  name: mine/;s/^  runes:.*/  runes: 3 9 46/}' \
    "$root/home/player/mine/saves.txt"
$sudo grep -qx '  name: mine' "$root/home/player/mine/saves.txt" || fail "could not change slot 1"
as_player tessaly-data build /home/player/mine /home/player/mine.mdb >/dev/null
as_player mv /home/player/mine.mdb "$copy"

step "a package with newer game data"
# The same package with a runeword renamed and the game data's version raised.
newer=$work/newer
dpkg-deb -R "$deb" "$newer"
"$tool" export "$newer/usr/share/tessaly/newRunewords.mdb" "$work/data" >/dev/null
version=$(sed -n 's/^PRAGMA user_version = \([0-9]*\);$/\1/p' "$work/data/schema.sql")
sed -i "s/^PRAGMA user_version = .*/PRAGMA user_version = $((version + 1));/" "$work/data/schema.sql"
renamed=$(sed -n 's/^runeword //p' "$work/data/runewords.txt" | head -n 1)
sed -i "0,/^runeword $renamed\$/s//runeword Renamed Upgrade/" "$work/data/runewords.txt"
rm "$newer/usr/share/tessaly/newRunewords.mdb"
"$tool" build "$work/data" "$newer/usr/share/tessaly/newRunewords.mdb" >/dev/null
chmod 644 "$newer/usr/share/tessaly/newRunewords.mdb"
sed -i 's/^Version: .*/&-1/' "$newer/DEBIAN/control"
(cd "$newer" && find usr -type f -exec md5sum {} + >DEBIAN/md5sums)
newdeb=$work/tessaly_newer_amd64.deb
dpkg-deb --root-owner-group -b "$newer" "$newdeb" >/dev/null
$sudo cp "$newdeb" "$root/tmp/"
in_root apt-get install -y -qq "/tmp/$(basename "$newdeb")" >"$work/upgrade.log" 2>&1 ||
    { tail -n 20 "$work/upgrade.log"; fail "apt could not install the newer package"; }
runs
as_player tessaly-data check "$copy"
as_player tessaly-data export "$copy" /home/player/after >/dev/null
$sudo diff -u "$root/home/player/mine/saves.txt" "$root/home/player/after/saves.txt" ||
    fail "the saves were not carried over"
$sudo grep -qx 'runeword Renamed Upgrade' "$root/home/player/after/runewords.txt" ||
    fail "the copy did not take the newer game data"
$sudo grep -qx "PRAGMA user_version = $((version + 1));" "$root/home/player/after/schema.sql" ||
    fail "the copy's game data version was not raised"

step "removing the package"
in_root apt-get purge -y -qq tessaly >"$work/purge.log" 2>&1 ||
    { tail -n 20 "$work/purge.log"; fail "apt could not remove the package"; }
as_player test -f "$copy" || fail "removing the package removed the player's copy"
in_root test ! -e /usr/bin/tessaly || fail "the program is still installed"
echo "check-package: the package installs, runs, upgrades the game data keeping the saves, and" \
    "leaves the player's copy when removed"
