#!/bin/sh
# Adds Tessaly to this user's desktop menu, pointing at the folder this script stands in.
set -eu
folder=$(cd "$(dirname "$0")" && pwd)
target="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
mkdir -p "$target"
sed "s|@TESSALY_FOLDER@|$folder|g" "$folder/tessaly.desktop.in" > "$target/tessaly.desktop"
echo "Added $target/tessaly.desktop"
