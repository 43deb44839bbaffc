#!/bin/sh
# Cross-compiles the platform-free core, quorvel-info and their GoogleTest
# tests for 64-bit Windows with Debian's mingw-w64 and runs the tests under
# wine64, in a wine prefix of its own that is removed afterwards. Installs
# what it needs first; needs root for apt-get.
set -eu
cd "$(dirname "$0")/.."
. tools/timing.sh

stage win64-deps
# libgtest-dev ships GoogleTest's sources, built here for the target;
# nlohmann-json3-dev is header only and serves any target.
tools/install-deps --only cmake make g++-mingw-w64-x86-64-posix wine64 libgtest-dev nlohmann-json3-dev

stage win64-build
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$(nproc)"

prefix=$(mktemp -d)
export WINEPREFIX="$prefix" WINEDEBUG=-all
# No Mono or Gecko prompts: nothing here needs them, and there is no network.
export WINEDLLOVERRIDES="mscoree,mshtml="
# A UTF-8 locale lets wine store any file name; its ANSI code page stays 1252,
# so a path taken as ANSI rather than UTF-8 shows.
export LC_ALL=C.UTF-8
cleanup() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
}
trap 'cleanup; timing_report' EXIT
trap 'exit 1' INT TERM

stage win64-tests
echo "== wine prefix"
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -w

echo "== tests under wine64"
ctest --test-dir build/win64 --output-on-failure -j"$(nproc)"
