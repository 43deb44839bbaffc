#!/bin/sh
# Makes the 32x32 PNG icon from the window's XPM, which stays the source of the
# film-strip icon. Run it after changing app/quorvel_icon.xpm and commit the
# result; the build only installs the PNG. Needs ImageMagick (Debian:
# imagemagick). No metadata goes in, so the same XPM gives the same bytes.
set -eu
cd "$(dirname "$0")/.."
convert app/quorvel_icon.xpm -strip -define png:exclude-chunks=date,time,tIME \
    PNG32:data/icons/quorvel-32.png
