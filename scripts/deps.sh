#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Tessaly needs, where missing.
set -euo pipefail
packages=(cmake ninja-build g++ qt6-base-dev qt6-base-private-dev libsqlite3-dev libsqlitecpp-dev libgif-dev
    fonts-liberation2 fonts-dejavu-core dpkg-dev "$@")
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
