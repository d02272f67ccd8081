#!/usr/bin/env bash
# Builds Tessaly for 64-bit Windows on a Debian 12 machine, with Debian's packages and source
# packages alone, into build-windows/: the programs, the tests, and in build-windows/package/
# the portable zip and the installer.
#
# First it cross-builds the libraries the build needs from Debian's own sources: qtbase
# (shared), SQLite (a DLL), SQLiteCpp and giflib (static). They go into a cache outside the
# checkout, each install keyed by the component's version and a hash of how it was built, so a
# second run only checks what is already there.
#
#   scripts/build-windows.sh
#
# The cache is ${XDG_CACHE_HOME:-~/.cache}/tessaly; packaging/windows/mingw-w64.cmake finds
# the libraries through the links in its windows/ folder.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
windows=$root/packaging/windows
cache=${XDG_CACHE_HOME:-$HOME/.cache}/tessaly
triple=x86_64-w64-mingw32
jobs=2

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

say() { printf '\n== %s\n' "$*"; }
fail() { printf 'build-windows: %s\n' "$*" >&2; exit 1; }

# ---------------------------------------------------------------------------------------------
# Packages: the host build (moc, rcc and uic come from the host Qt, which must be the same
# version as the Qt built here), the MinGW-w64 toolchain with posix threads (std::thread and
# std::mutex need them), Wine to run what is built, and what turning source packages into
# sources takes.
say "Packages"
"$root/scripts/deps.sh" g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools \
    wine64 wine nsis xvfb make patch tcl xz-utils

# ---------------------------------------------------------------------------------------------
# Source packages need a deb-src entry for bookworm main. Add one, on the mirror the binary
# packages come from, unless the machine already has one.

# Prints "URI|SIGNED-BY" of the first enabled entry of the given type (deb or deb-src) for
# bookworm main, from sources.list, *.list and deb822 *.sources files alike.
apt_entry() {
    local type=$1 file
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk -v want="$type" '
            function check() {
                if (enabled != "no" && (" " types " ") ~ (" " want " ") \
                    && (" " suites " ") ~ / bookworm / && (" " components " ") ~ / main /) {
                    split(uris, u, " "); print u[1] "|" key; found = 1; exit
                }
                types = suites = components = uris = key = ""; enabled = "yes"
            }
            BEGIN { enabled = "yes" }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { check(); next }
            /^[A-Za-z-]+:/ {
                field = tolower($1); sub(/:$/, "", field)
                value = $0; sub(/^[^:]*:[ \t]*/, "", value)
                if (field == "types") types = value
                else if (field == "suites") suites = value
                else if (field == "components") components = value
                else if (field == "uris") uris = value
                else if (field == "signed-by") key = value
                else if (field == "enabled") enabled = tolower(value)
            }
            END { if (!found) check() }' "$file" | head -n 1 | grep . && return 0
    done
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | awk -v want="$type" '
        $1 == want {
            key = ""; line = $0
            if (match(line, /\[[^]]*\]/)) {
                options = substr(line, RSTART + 1, RLENGTH - 2)
                if (match(options, /signed-by=[^ ]+/)) key = substr(options, RSTART + 10, RLENGTH - 10)
                sub(/\[[^]]*\]/, "", line)
            }
            n = split(line, w, " ")
            if (w[3] != "bookworm") next
            for (i = 4; i <= n; i++) if (w[i] == "main") { print w[2] "|" key; exit }
        }' | head -n 1 | grep .
}

say "Source packages"
if apt_entry deb-src >/dev/null; then
    echo "A deb-src entry for bookworm main is there."
else
    mirror=$(apt_entry deb || true)
    uri=${mirror%%|*}
    key=${mirror#*|}
    [ -n "$uri" ] || uri=http://deb.debian.org/debian
    list=/etc/apt/sources.list.d/tessaly-bookworm-src.sources
    echo "Adding $list (deb-src $uri bookworm main)"
    {
        echo "# Added by Tessaly's scripts/build-windows.sh: it cross-builds Debian's own sources."
        echo "Types: deb-src"
        echo "URIs: $uri"
        echo "Suites: bookworm"
        echo "Components: main"
        [ -z "$key" ] || echo "Signed-By: $key"
    } | $sudo tee "$list" >/dev/null
    $sudo apt-get update -qq
fi
# An entry added by hand without an update since has no index yet.
if [ -z "$(apt-cache showsrc qt6-base 2>/dev/null)" ]; then
    $sudo apt-get update -qq
fi

# ---------------------------------------------------------------------------------------------
# The cache: sources/ holds the downloaded source packages, install/ one folder per component,
# version and recipe, and windows/ links to the installs in use (the toolchain file looks
# there). A component's build folder is removed once it is installed.
mkdir -p "$cache/sources" "$cache/build" "$cache/install" "$cache/windows"

# The version apt-get source would fetch.
source_version() {
    local best="" version
    for version in $(apt-cache showsrc --only-source "$1" | awk '/^Version:/ { print $2 }'); do
        if [ -z "$best" ] || dpkg --compare-versions "$version" gt "$best"; then
            best=$version
        fi
    done
    [ -n "$best" ] || fail "apt has no source package $1"
    printf '%s' "$best"
}

# Downloads a source package once and unpacks it, with Debian's patches, into a folder.
unpack_source() {
    local package=$1 version=$2 destination=$3
    (cd "$cache/sources" && apt-get source --download-only -qq "$package=$version")
    rm -rf "$destination"
    nice -n 19 dpkg-source --no-check -x "$cache/sources/${package}_${version#*:}.dsc" \
        "$destination" >/dev/null
}

# What a recipe is made of, hashed: the build function itself, the compilers and the files
# given. A change to any of them makes a new install folder. The toolchain file is left out:
# its compilers are hashed by version, and the rest of it is about finding what is built here.
compilers=$(dpkg-query -W -f='${Package} ${Version}\n' g++-mingw-w64-x86-64-posix \
    gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)
recipe_hash() {
    local function=$1
    shift
    { declare -f "$function"; printf '%s\n' "$compilers"; cat "$@"; } | sha256sum | cut -c1-12
}

# Builds a component unless its install is there, then links it into windows/.
component() {
    local name=$1 version=$2 hash=$3 build=$4
    local id="$name-$version-$hash"
    local prefix="$cache/install/$id" work="$cache/build/$id" stamp="$cache/install/$id/.built"
    if [ -f "$stamp" ]; then
        echo "$name $version ($hash): built already"
    else
        echo "$name $version ($hash): building in $work"
        # The toolchain file must not find an older build of the component meanwhile.
        rm -f "$cache/windows/$name"
        rm -rf "$work" "$prefix"
        mkdir -p "$work"
        local start=$SECONDS
        "$build" "$work" "$prefix"
        printf 'version %s\nrecipe %s\nbuilt %s in %d s\n' "$version" "$hash" "$(date -u +%FT%TZ)" \
            $((SECONDS - start)) >"$stamp"
        rm -rf "$work"
        echo "$name $version: installed in $prefix ($((SECONDS - start)) s)"
    fi
    ln -sfn "../install/$id" "$cache/windows/$name"
}

# SQLite: Debian's source has no amalgamation, so the host makes one, and MinGW compiles it
# into a DLL and an import library with the compile-time options of Debian's own build.
build_sqlite() {
    local work=$1 prefix=$2
    unpack_source sqlite3 "$sqlite_version" "$work/source"
    local defines
    defines=$(awk '/^export CFLAGS \+=/ { on = 1 } on { print; if ($0 !~ /\\$/) exit }' \
        "$work/source/debian/rules" | grep -o -- '-DSQLITE_[A-Za-z0-9_]*\(=[^ \\]*\)\?' || true)
    [ -n "$defines" ] || fail "no SQLite options found in debian/rules"
    mkdir -p "$work/host"
    (cd "$work/host" && nice -n 19 ../source/configure --disable-tcl >configure.log \
        && nice -n 19 make -j"$jobs" sqlite3.c >make.log)
    mkdir -p "$prefix/bin" "$prefix/lib" "$prefix/include"
    # shellcheck disable=SC2086 # one option a word
    nice -n 19 "$triple-gcc-posix" -O2 -fno-strict-aliasing $defines \
        "-DSQLITE_API=__declspec(dllexport)" -shared "$work/host/sqlite3.c" \
        -o "$prefix/bin/libsqlite3-0.dll" -Wl,--out-implib,"$prefix/lib/libsqlite3.dll.a"
    "$triple-strip" --strip-unneeded "$prefix/bin/libsqlite3-0.dll"
    cp "$work/host/sqlite3.h" "$work/source/src/sqlite3ext.h" "$prefix/include/"
}

# SQLiteCpp: a static library on the SQLite above.
build_sqlitecpp() {
    local work=$1 prefix=$2 sqlite=$cache/windows/sqlite
    unpack_source sqlitecpp "$sqlitecpp_version" "$work/source"
    nice -n 19 cmake -S "$work/source" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$windows/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
        -DSQLITECPP_INTERNAL_SQLITE=OFF -DSQLITECPP_RUN_CPPLINT=OFF -DSQLITECPP_RUN_CPPCHECK=OFF \
        -DSQLITECPP_BUILD_TESTS=OFF -DSQLITECPP_BUILD_EXAMPLES=OFF \
        -DSQLite3_INCLUDE_DIR="$sqlite/include" -DSQLite3_LIBRARY="$sqlite/lib/libsqlite3.dll.a" \
        >"$work/configure.log"
    nice -n 19 cmake --build "$work/build" -j "$jobs"
    nice -n 19 cmake --install "$work/build" >/dev/null
}

# giflib: a static library for the picture maker, the one program that writes GIF files; it is
# not shipped, and neither is the library.
build_giflib() {
    local work=$1 prefix=$2 file
    unpack_source giflib "$giflib_version" "$work/source"
    mkdir -p "$prefix/lib" "$prefix/include"
    for file in dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize; do
        nice -n 19 "$triple-gcc-posix" -O2 -c "$work/source/$file.c" -o "$work/$file.o"
    done
    "$triple-gcc-ar-posix" rcs "$prefix/lib/libgif.a" "$work"/*.o
    cp "$work/source/gif_lib.h" "$prefix/include/"
}

# qtbase: shared, Release, with the options and source fixes in packaging/windows/.
build_qtbase() {
    local work=$1 prefix=$2 fix
    unpack_source qt6-base "$qt_version" "$work/source"
    for fix in "$windows"/qtbase-*.patch; do
        echo "applying $(basename "$fix"): $(head -n 1 "$fix")"
        patch -p1 --quiet -d "$work/source" <"$fix"
    done
    echo "configuring (log: $work/configure.log)"
    nice -n 19 cmake -S "$work/source" -B "$work/build" -G Ninja \
        -C "$windows/qtbase-options.cmake" -DCMAKE_TOOLCHAIN_FILE="$windows/mingw-w64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" >"$work/configure.log" 2>&1 \
        || { tail -n 40 "$work/configure.log"; fail "qtbase did not configure"; }
    echo "building: about 40 minutes on two busy cores"
    nice -n 19 cmake --build "$work/build" -j "$jobs"
    nice -n 19 cmake --install "$work/build" >"$work/install.log"
}

say "Libraries"
qt_version=$(source_version qt6-base)
sqlite_version=$(source_version sqlite3)
sqlitecpp_version=$(source_version sqlitecpp)
giflib_version=$(source_version giflib)
# moc, rcc and uic of the host Qt are used with the Qt built here.
host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev)
upstream() { local v=${1#*:}; v=${v%%[+-]*}; printf '%s' "$v"; }
[ "$(upstream "$host_qt")" = "$(upstream "$qt_version")" ] \
    || fail "the host's qt6-base-dev is $host_qt but the source package is $qt_version"

sqlite_hash=$(recipe_hash build_sqlite /dev/null)
component sqlite "$sqlite_version" "$sqlite_hash" build_sqlite
sqlitecpp_hash=$(recipe_hash build_sqlitecpp <(echo "$sqlite_hash"))
component sqlitecpp "$sqlitecpp_version" "$sqlitecpp_hash" build_sqlitecpp
qtbase_hash=$(recipe_hash build_qtbase "$windows/qtbase-options.cmake" "$windows"/qtbase-*.patch)
component qtbase "$qt_version" "$qtbase_hash" build_qtbase
giflib_hash=$(recipe_hash build_giflib /dev/null)
component giflib "$giflib_version" "$giflib_hash" build_giflib

# A Wine prefix of our own, made once, so that the first program run does not make it.
say "Wine"
if [ -f "$cache/wineprefix/system.reg" ]; then
    echo "The Wine prefix is there: $cache/wineprefix"
else
    "$windows/wine-run.sh" wineboot --init
    # The registry is written when the Wine server stops.
    WINEPREFIX="$cache/wineprefix" wineserver --wait
    echo "Made the Wine prefix $cache/wineprefix"
fi

# ---------------------------------------------------------------------------------------------
# Tessaly and its tests, then the zip and the installer. The build-time tools (the data tool,
# the picture and icon makers) run under Wine.
say "Tessaly"
build=$root/build-windows
# ccache, where the machine has it, makes a rebuild after a small change take minutes, not the
# better part of an hour; paths inside the checkout count from its root, so that another
# checkout of the same sources hits the same cache.
launcher=()
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$windows/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$jobs"
(cd "$build" && cpack >/dev/null)

say "Done"
for name in qtbase sqlite sqlitecpp giflib; do
    printf '%-10s %s\n' "$name" "$(readlink -f "$cache/windows/$name")"
done
echo "Toolchain file: $windows/mingw-w64.cmake (it finds them through $cache/windows)"
ls -l "$build"/package/*.zip "$build"/package/*.exe
