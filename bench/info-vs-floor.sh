#!/bin/bash
# quorvel-info against the floor for any header reader run as a process: a
# static program that opens the file and reads 64 KiB, as quorvel-info's open
# does (bench/read_floor.cpp). One corpus file per container, and a 174 KiB
# MPEG program stream that ffmpeg makes when it is installed (three seconds
# of 352x288 MPEG-2 at 300 kbit/s, whose tail read is the whole file). It
# needs a C++ compiler; it installs nothing.
#
#   bench/info-vs-floor.sh [PATH/TO/quorvel-info [ANOTHER/quorvel-info]]
#
# A second quorvel-info (say, one built from an earlier commit) is timed in
# the same rounds. Build an optimised one first, as for info-vs-others.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

infos=("$@")
if [ ${#infos[@]} -eq 0 ]; then
    for candidate in build/info-release/info/quorvel-info build/release/info/quorvel-info \
                     build/bench/info/quorvel-info; do
        if [ -x "$candidate" ]; then infos=("$candidate"); break; fi
    done
fi
if [ ${#infos[@]} -eq 0 ]; then
    echo "No quorvel-info found; build it or give its path." >&2
    exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cxx=${CXX:-c++}
"$cxx" -O2 -static -o "$work/read_floor" bench/read_floor.cpp
"$cxx" -O2 -o "$work/spawn_time" bench/spawn_time.cpp

files=(tests/data/avi/pal-720x576-25.avi tests/data/mp4/avc1-64x48-25.mp4
       tests/data/mkv/h264-720x576-25-crop0-72-0-72.mkv
       tests/data/mpeg/ps-mpeg2-720x576-pal-dvd-tff-25.mpg)
if command -v ffmpeg >/dev/null; then
    ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=352x288:rate=25 -t 2.8 \
        -c:v mpeg2video -b:v 300k -fflags +bitexact -flags:v +bitexact -f vob "$work/ps-174k.mpg"
    files+=("$work/ps-174k.mpg")
else
    echo "ffmpeg not found: the 174 KiB program stream is left out"
fi

# Five rounds of 300 runs each, the floor and each quorvel-info in turn, so
# that a busy machine slows them alike; the median of the rounds' medians.
rounds=5 runs=300
echo "Milliseconds per run, median wall / median CPU (user + system), and the ratio to the floor:"
for file in "${files[@]}"; do
    results=()
    for ((r = 0; r < rounds; r++)); do
        line=$("$work/spawn_time" $runs 20 "$work/read_floor" "$file")
        for info in "${infos[@]}"; do
            line+=" $("$work/spawn_time" $runs 20 "$info" "$file")"
        done
        results+=("$line")
    done
    printf '%s\n' "${results[@]}" | awk -v name="$(basename "$file") ($(stat -c %s "$file") bytes)" \
        -v labels="${infos[*]}" '
        { for (i = 1; i <= NF; i++) v[i, NR] = $i; n = NR; fields = NF }
        function med(i,   k, j, t, a) {
            for (k = 1; k <= n; k++) a[k] = v[i, k]
            for (k = 1; k <= n; k++) for (j = k + 1; j <= n; j++) if (a[j] < a[k]) { t = a[k]; a[k] = a[j]; a[j] = t }
            return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
        }
        END {
            split(labels, label, " ")
            printf "%s\n  %-44s %7.3f / %7.3f\n", name, "floor", med(1), med(2)
            for (i = 3; i < fields; i += 2)
                printf "  %-44s %7.3f / %7.3f   %.2fx / %.2fx\n", label[(i - 1) / 2], med(i), med(i + 1),
                       med(i) / med(1), med(i + 1) / med(2)
        }'
done
echo "Aim: the MPEG program stream within 1.3x the floor (wall), as the other containers are near it."
