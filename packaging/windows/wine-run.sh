#!/bin/sh
# Runs a cross-built Windows program under Wine, with the folders of the DLLs it needs on its
# path: the cross-built Qt and SQLite, and the MinGW runtime. CMake runs the build-time tools
# and the tests through it.
#   packaging/windows/wine-run.sh program.exe [arguments]
set -eu
cache="${XDG_CACHE_HOME:-$HOME/.cache}/tessaly"
libraries="$cache/windows"

export WINEPREFIX="$cache/wineprefix"
# Wine makes the prefix on first use, but not the folders above it.
mkdir -p "$cache"
export WINEDEBUG=-all
# A new prefix would otherwise offer to install Mono and Gecko, which nothing here needs.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Wine keeps QT_* variables from Windows programs, since the host's would be for the host's Qt,
# and passes WINEQT_* ones on under the QT_* name. Ours (the platform a test runs on, a scale
# factor) are meant for the program; plugin folders of the host's Qt are not.
for variable in $(env | sed -n 's/^\(QT_[A-Za-z0-9_]*\)=.*/\1/p'); do
    case $variable in
    QT_PLUGIN_PATH | QT_QPA_PLATFORM_PLUGIN_PATH) ;;
    *) eval "export WINE$variable=\"\$$variable\"" ;;
    esac
done

# Wine's drive Z: is the root of the host's file system.
windows_path() { printf 'Z:%s' "$1" | sed 's|/|\\|g'; }
path=""
for folder in "$libraries/qtbase/bin" "$libraries/sqlite/bin" \
    /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib; do
    path="$path${path:+;}$(windows_path "$folder")"
done
export WINEPATH="$path"

exec wine "$@"
