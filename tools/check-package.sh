#!/bin/sh
# Builds the Debian package and checks it as a user would meet it: lintian
# finds no error or warning in it, its desktop entry and metainfo validate,
# `apt-get install ./quorvel_*.deb` installs it,
# the installed window starts on the offscreen platform and ends through its
# exit button, the installed quorvel-info runs, quorvel-disc plans a disc and
# quorvel-studio starts. The package is removed
# again at the end, whether the checks passed or not. Installs what it needs
# first; needs root for apt-get.
set -eu
cd "$(dirname "$0")/.."
. tools/timing.sh

app_id=org.quorvel.Quorvel
studio_id=org.quorvel.Studio

stage package-deps
tools/install-deps
# dpkg-shlibdeps (dpkg-dev) and file find the package's dependencies;
# help2man makes quorvel-info's manual; the checkers come from lintian,
# desktop-file-utils and appstream.
tools/install-deps --only dpkg-dev file help2man lintian desktop-file-utils appstream

stage package-build
cmake --preset package >/dev/null
cmake --build --preset package -j"$(nproc)"
rm -f build/package/quorvel_*.deb
cpack --preset package
deb=$(echo build/package/quorvel_*.deb)
[ -f "$deb" ] || { echo "no package was made"; exit 1; }

fail() {
    echo "check-package: $*" >&2
    exit 1
}

dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' ||
    fail "the package's dependencies were not computed from the binaries"
# Listed once: `dpkg-deb -c | grep -q` has tar report a broken pipe each time.
contents=$(dpkg-deb -c "$deb")
for f in /usr/bin/quorvel /usr/bin/quorvel-info /usr/bin/quorvel-disc /usr/bin/quorvel-studio \
    /usr/share/applications/$app_id.desktop /usr/share/metainfo/$app_id.metainfo.xml \
    /usr/share/applications/$studio_id.desktop /usr/share/metainfo/$studio_id.metainfo.xml \
    /usr/share/man/man1/quorvel-studio.1.gz /usr/share/icons/hicolor/32x32/apps/quorvel.png \
    /usr/share/icons/hicolor/scalable/apps/quorvel.svg /usr/share/doc/quorvel/copyright \
    /usr/share/doc/quorvel/changelog.gz /usr/share/man/man1/quorvel.1.gz \
    /usr/share/man/man1/quorvel-info.1.gz /usr/share/man/man1/quorvel-disc.1.gz; do
    printf '%s\n' "$contents" | grep -q " \.$f\$" || fail "$f is not in the package"
done

stage package-check
echo "== lintian"
# Informational and pedantic notes are shown; errors and warnings fail.
lint_status=0
lint=$(lintian --display-info --pedantic --fail-on error,warning "$deb" 2>&1) || lint_status=$?
printf '%s\n' "$lint" | grep -v '^running with root privileges' || true
[ "$lint_status" -eq 0 ] || fail "lintian found errors or warnings (status $lint_status)"

# The plugin that clicks the exit button from inside the installed program.
cmake -S tests/package -B build/package-check -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/package-check -j"$(nproc)"

work=$(mktemp -d)
cleanup() {
    if dpkg-query -W -f='${Status}' quorvel 2>/dev/null | grep -q "install ok installed"; then
        echo "== removing the package"
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq quorvel >"$work/apt" 2>&1 ||
            { cat "$work/apt"; return 1; }
    fi
    rm -rf "$work"
}
trap 'cleanup; timing_report' EXIT
trap 'exit 1' INT TERM

echo "== install"
# --reinstall: a run that stopped half-way may have left the same version.
# apt's and dpkg's progress only shows when the install fails.
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "./$deb" >"$work/apt" 2>&1 ||
    { cat "$work/apt"; fail "apt-get could not install $deb"; }

echo "== desktop entry and metainfo"
for id in $app_id $studio_id; do
    desktop-file-validate /usr/share/applications/$id.desktop
    appstreamcli validate --no-net /usr/share/metainfo/$id.metainfo.xml
done

echo "== the installed window, ended through Command1"
mkdir -m 700 "$work/runtime"
status=0
env XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
    QT_PLUGIN_PATH="$PWD/build/package-check/plugins" QT_QPA_GENERIC_PLUGINS=clickcommand1 \
    timeout 60 /usr/bin/quorvel >"$work/out" 2>&1 || status=$?
cat "$work/out"
[ "$status" -eq 0 ] || fail "quorvel ended with status $status"
grep -q '^clickcommand1: clicking Command1' "$work/out" || fail "quorvel ended without the click"

echo "== the installed quorvel-info"
version=$(dpkg-deb -f "$deb" Version)
/usr/bin/quorvel-info --version | tee "$work/version"
grep -q "$version" "$work/version" || fail "quorvel-info --version does not say $version"
/usr/bin/quorvel-info tests/data/avi/film-640x272-24.avi | tee "$work/info"
grep -qx 'DVD NTSC 16:9: TV 720x480, Movie 720x363, pixel 32:27' "$work/info" ||
    fail "quorvel-info gave other sizes"
/usr/bin/quorvel-info --window tests/data/avi/film-640x272-24.avi | tee "$work/window"
grep -qx 'DVD NTSC: TV 720x480, Movie 720x306' "$work/window" || fail "quorvel-info --window gave other sizes"

echo "== the installed quorvel-disc and quorvel-studio"
/usr/bin/quorvel-disc --version | grep -q "$version" || fail "quorvel-disc --version does not say $version"
/usr/bin/quorvel-disc --dry-run --output "$work/plan.iso" tests/data/avi/film-640x272-24.avi |
    tee "$work/plan"
grep -q '^DVD NTSC, DVD-5, 1 title:' "$work/plan" || fail "quorvel-disc --dry-run planned no disc"
# The disc window has no Command1 to press: it must still be up after a few
# seconds.
status=0
env XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
    timeout 5 /usr/bin/quorvel-studio >"$work/studio" 2>&1 || status=$?
cat "$work/studio"
[ "$status" -eq 124 ] || fail "quorvel-studio ended with status $status before 5 s"

cleanup
echo "check-package: passed"
