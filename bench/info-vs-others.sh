#!/bin/bash
# quorvel-info against ffprobe and mediainfo as whole processes, on a small
# and a 4 GB sparse file of each container, in one run. It installs nothing:
# a tool that is missing is left out, and without hyperfine a plain timing
# loop is used.
#
#   bench/info-vs-others.sh [PATH/TO/quorvel-info]
#
# Build an optimised quorvel-info first, for instance:
#   cmake -S . -B build/info-release -DCMAKE_BUILD_TYPE=Release \
#         -DQUORVEL_BUILD_UI=OFF -DQUORVEL_BUILD_TESTS=OFF
#   cmake --build build/info-release --target quorvel-info
set -euo pipefail
cd "$(dirname "$0")/.."

info=${1:-}
if [ -z "$info" ]; then
    for candidate in build/info-release/info/quorvel-info build/release/info/quorvel-info \
                     build/bench/info/quorvel-info build/info/info/quorvel-info; do
        if [ -x "$candidate" ]; then info=$candidate; break; fi
    done
fi
if [ -z "$info" ] || [ ! -x "$info" ]; then
    echo "No quorvel-info found; build it or give its path." >&2
    exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Little-endian 32-bit words as printf escapes.
le32() {
    local v
    for v in "$@"; do
        printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255))
    done
}

# An uncompressed 64x48 AVI at 30000/1001 with FRAMES frames. The RIFF and
# movi sizes may claim more than is written: the rest is made sparse.
make_avi() {
    local path=$1 frames=$2 claimed_movi=$3
    local w=64 h=48 frame=$((64 * 48 * 3))
    local movi=$((4 + frames * (8 + frame)))
    [ "$claimed_movi" -gt "$movi" ] && movi=$claimed_movi
    local hdrl=$((4 + 8 + 56 + 8 + 4 + 8 + 56 + 8 + 40))
    local riff=$((4 + 8 + hdrl + 8 + movi))
    {
        printf "RIFF$(le32 $riff)AVI LIST$(le32 $hdrl)hdrl"
        printf "avih$(le32 56 33367 0 0 16 "$frames" 0 1 "$frame" $w $h 0 0 0 0)"
        printf "LIST$(le32 $((4 + 8 + 56 + 8 + 40)))strl"
        printf "strh$(le32 56)vidsDIB $(le32 0 0 0 1001 30000 0 "$frames" "$frame" 4294967295 "$frame")"
        printf '\x00\x00\x00\x00\x40\x00\x30\x00'
        printf "strf$(le32 40 40 $w $h)\\x01\\x00\\x18\\x00$(le32 0 "$frame" 0 0 0 0)"
        printf "LIST$(le32 $movi)movi"
        for ((i = 0; i < frames; i++)); do
            printf "00db$(le32 $frame)"
            head -c "$frame" /dev/zero
        done
    } >"$path"
}

# A small and a 4 GB sparse file per container. AVI is made here; the others
# start from a corpus file: for MP4 the moov stays at the end, behind an mdat
# that grows to 4 GB with a 64-bit size (ffmpeg leaves an 8-byte free box
# before mdat for exactly that, so no offset moves); Matroska and MPEG get a
# sparse tail.
make_avi "$work/small.avi" 10 0
make_avi "$work/big.avi" 10 $((4 * 1024 * 1024 * 1024 - 4096))
truncate -s 4G "$work/big.avi"

first_of() { local f; for f in "$@"; do [ -f "$f" ] && { echo "$f"; return; }; done; }
mp4=$(first_of tests/data/mp4/avc1-64x48-25.mp4)
mkv=$(first_of tests/data/mkv/*.mkv tests/data/mkv/*.webm)
mpg=$(first_of tests/data/mpeg/*.mpg)
containers="avi"
if [ -n "$mp4" ]; then
    cp "$mp4" "$work/small.mp4"
    python3 - "$mp4" "$work/big.mp4" <<'PY'
import struct, sys
src, dst = sys.argv[1], sys.argv[2]
data = open(src, "rb").read()
pos, boxes = 0, []
while pos + 8 <= len(data):
    size, kind = struct.unpack(">I4s", data[pos:pos + 8])
    boxes.append((pos, size, kind))
    pos += size if size else len(data)
kinds = [b[2] for b in boxes]
i = kinds.index(b"mdat")
assert i > 0 and kinds[i - 1] == b"free" and boxes[i - 1][1] == 8 and b"moov" in kinds[i:], kinds
free_at, mdat_at, mdat_size = boxes[i - 1][0], boxes[i][0], boxes[i][1]
big_mdat = 4 * 1024 ** 3
with open(dst, "wb") as out:
    out.write(data[:free_at])
    out.write(struct.pack(">I4sQ", 1, b"mdat", big_mdat))
    out.write(data[mdat_at + 8:mdat_at + mdat_size])
    out.seek(free_at + big_mdat)
    out.write(data[mdat_at + mdat_size:])
PY
    containers="$containers mp4"
fi
for pair in "mkv:$mkv" "mpg:$mpg"; do
    ext=${pair%%:*} src=${pair#*:}
    [ -n "$src" ] || continue
    cp "$src" "$work/small.$ext"
    cp "$src" "$work/big.$ext"
    truncate -s 4G "$work/big.$ext"
    # As large as the reads, so that it costs the same reads as 4 GB do (a
    # small file is read whole by the first).
    cp "$src" "$work/mid.$ext"
    truncate -s 1M "$work/mid.$ext"
    containers="$containers $ext"
done
for c in $containers; do
    echo "$c: small $(stat -c %s "$work/small.$c") bytes; big $(stat -c %s "$work/big.$c") bytes," \
         "$(du -k "$work/big.$c" | cut -f1) KiB on disk"
done
echo "quorvel-info: $info"
echo

names=()
commands=()
add() { names+=("$1"); commands+=("$2"); }
for c in $containers; do
    [ -f "$work/mid.$c" ] && add "quorvel-info $c-mid" "$info $work/mid.$c"
    for file in small big; do
        path=$work/$file.$c
        add "quorvel-info $c-$file" "$info $path"
        if command -v ffprobe >/dev/null; then
            add "ffprobe $c-$file" "ffprobe -v error -show_entries stream=width,height,r_frame_rate $path"
        fi
        if command -v mediainfo >/dev/null; then
            add "mediainfo $c-$file" "mediainfo $path"
        fi
    done
done
command -v ffprobe >/dev/null || echo "ffprobe not found: left out"
command -v mediainfo >/dev/null || echo "mediainfo not found: left out"

if command -v hyperfine >/dev/null; then
    # ffprobe reads a sparse Matroska or MPEG file to its end (tens of
    # seconds for 4 GB), so a command whose first run takes over a second
    # gets 3 runs instead of 100.
    quick=() slow=()
    for i in "${!names[@]}"; do
        read -r -a cmd <<<"${commands[$i]}"
        start=$(date +%s%N)
        "${cmd[@]}" >/dev/null 2>&1 || true
        if (($(date +%s%N) - start > 1000000000)); then
            slow+=(--command-name "${names[$i]}" "${commands[$i]}")
        else
            quick+=(--command-name "${names[$i]}" "${commands[$i]}")
        fi
    done
    hyperfine -N --style basic --warmup 10 --min-runs 100 --export-markdown "$work/quick.md" \
        --export-csv "$work/quick.csv" "${quick[@]}" >/dev/null 2>&1
    cat "$work/quick.md"
    cp "$work/quick.csv" "$work/times.csv"
    if ((${#slow[@]})); then
        hyperfine -N --style basic --runs 3 --export-markdown "$work/slow.md" \
            --export-csv "$work/slow.csv" "${slow[@]}" >/dev/null 2>&1
        echo
        echo "Commands over a second, 3 runs each:"
        cat "$work/slow.md"
        tail -n +2 "$work/slow.csv" >>"$work/times.csv"
    fi
    # Name, median and fastest run in ms, for the ratios below.
    times=$(awk -F, 'NR > 1 { gsub(/ /, "", $1); print $1, $4 * 1000, $7 * 1000 }' "$work/times.csv")
    echo
    awk -F, 'NR > 1 { printf "%-20s median %9.3f ms   fastest %9.3f ms\n", $1, $4 * 1000, $7 * 1000 }' \
        "$work/times.csv"
else
    echo "hyperfine not found: a plain loop of 100 runs each (mean for both columns)"
    times=""
    for i in "${!names[@]}"; do
        read -r -a cmd <<<"${commands[$i]}"
        "${cmd[@]}" >/dev/null 2>&1 || true
        start=$(date +%s%N)
        for ((r = 0; r < 100; r++)); do "${cmd[@]}" >/dev/null 2>&1 || true; done
        end=$(date +%s%N)
        mean=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 100 / 1e6 }')
        echo "${names[$i]}: $mean ms"
        times+="${names[$i]// /} $mean $mean"$'\n'
    done
fi

echo
echo "How many times faster quorvel-info is, as a whole process (by median; by fastest run):"
awk -v containers="$containers" '
    { typical[$1] = $2; least[$1] = $3 }
    function ratio(tool, file, aim) {
        if (tool file in typical)
            printf "  %-9s %-9s %6.0fx (fastest %6.0fx)   aim: %dx\n", file, tool,
                   typical[tool file] / typical["quorvel-info" file],
                   least[tool file] / least["quorvel-info" file], aim
    }
    END {
        n = split(containers, list, " ")
        for (i = 1; i <= n; i++) {
            c = list[i]
            ratio("ffprobe", c "-small", 30); ratio("mediainfo", c "-small", 10)
            ratio("ffprobe", c "-big", 30); ratio("mediainfo", c "-big", 10)
            printf "  %-9s the 4 GB file takes %.2f (median) and %.2f (fastest) times as long as the small one (aim: 1.2)\n", c,
                   typical["quorvel-info" c "-big"] / typical["quorvel-info" c "-small"],
                   least["quorvel-info" c "-big"] / least["quorvel-info" c "-small"]
            if ("quorvel-info" c "-mid" in typical)
                printf "  %-9s the 4 GB file takes %.2f (median) and %.2f (fastest) times as long as a 1 MiB one\n", c,
                       typical["quorvel-info" c "-big"] / typical["quorvel-info" c "-mid"],
                       least["quorvel-info" c "-big"] / least["quorvel-info" c "-mid"]
        }
    }' <<<"$times"
