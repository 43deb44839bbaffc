#!/bin/bash
# Makes fresh files with settings the checked-in corpus does not use and
# compares what quorvel-info reads from them with what ffprobe says: size,
# rate, pixel shape and rotation; for MP4 and Matroska files the running time
# (to the millisecond) and the field order; for MPEG files the frames, running
# time and field order. Needs ffmpeg and mjpegtools; prints one line a file and
# exits 1 on any difference.
#
#   tools/crosscheck-ffprobe.sh [PATH/TO/quorvel-info]
set -euo pipefail
cd "$(dirname "$0")/.."
info=${1:-build/dev/info/quorvel-info}
[ -x "$info" ] || { echo "No quorvel-info at $info; build it or give its path." >&2; exit 2; }
info=$(realpath "$info")
tools=$PWD/tools
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

ff() { ffmpeg -nostdin -loglevel error -y "$@"; }
# make NAME SIZE RATE FRAMES ENCODER-OPTIONS...
make() {
    local name=$1 size=$2 rate=$3 frames=$4
    shift 4
    ff -f lavfi -i "color=c=0x806040:s=$size:r=$rate" -frames:v "$frames" "$@" "$name"
}
x264=(-c:v libx264 -preset ultrafast -qp 51)
make x264-sar40x33.mp4 720x480 30000/1001 3 -vf setsar=40/33 "${x264[@]}"
make hevc-60.mp4 640x360 60 3 -c:v libx265 -preset ultrafast -x265-params log-level=none
make x264-dar4x3.mov 480x576 25 3 "${x264[@]}" -aspect 4:3
make vp9-dar2x1.webm 320x180 50 3 -c:v libvpx-vp9 -deadline realtime -crf 63 -b:v 0 -aspect 2:1
make mpeg2-dar16x9.m2v 704x576 25 3 -c:v mpeg2video -qscale:v 31 -aspect 16:9
make svcd-dar4x3.mpg 480x576 25 3 -c:v mpeg2video -qscale:v 31 -aspect 4:3 -f vob
make mpeg4-ntsc.mkv 352x240 30000/1001 3 -c:v mpeg4 -qscale:v 31
make fragmented.mp4 320x240 60000/1001 5 "${x264[@]}" -movflags frag_keyframe+empty_moov
make mpeg4-15.3gp 176x144 15 3 -c:v mpeg4 -qscale:v 31
make faststart.mp4 640x480 24 3 "${x264[@]}" -movflags faststart
make really-mp4.avi 1920x1080 30 2 "${x264[@]}" -vf setsar=4/3 -f mp4
make mpeg4-dar16x9.avi 720x576 25 2 -c:v mpeg4 -qscale:v 31 -aspect 16:9
# Running time and field order: interlaced MPEG-2 both ways round in each
# container, uncompressed video storing one field first and showing the
# other, rounded time stamps, a long running time from few frames, an edit
# list that delays the start, and Matroska from a pipe (no Duration).
mpeg2i=(-c:v mpeg2video -qscale:v 31 -flags +ildct+ilme)
make mpeg2-tff.mov 720x480 30000/1001 4 "${mpeg2i[@]}" -top 1 -field_order tt
make mpeg2-bff.mp4 720x576 25 4 "${mpeg2i[@]}" -top 0 -field_order bb
make mpeg2-tff.mkv 720x576 25 4 "${mpeg2i[@]}" -top 1 -field_order tt
make mpeg2-bff.mkv 720x480 30000/1001 4 "${mpeg2i[@]}" -top 0 -field_order bb
make raw-bt.mov 64x48 25 2 -c:v rawvideo -pix_fmt uyvy422 -field_order bt
make raw-tb.mov 64x48 25 2 -c:v rawvideo -pix_fmt uyvy422 -field_order tb
make x264-ts90000.mp4 320x240 24000/1001 12 "${x264[@]}" -video_track_timescale 90000
make mjpeg-hour.mov 64x48 1/1200 3 -c:v mjpeg -q:v 31
make x264-delayed.mp4 320x240 25 5 "${x264[@]}" -vf setpts=PTS+1.5/TB
ff -f lavfi -i "color=c=0x806040:s=160x90:r=25" -frames:v 3 -c:v libvpx-vp9 -deadline realtime \
    -crf 63 -b:v 0 -f webm - >vp9-live.webm
# MPEG: interlaced both ways round, B-frames, MPEG-1, and pulldown.
mpeg2=(-c:v mpeg2video -qscale:v 31)
make mpeg2-interlaced-tff.mpg 720x576 25 5 "${mpeg2[@]}" -flags +ildct+ilme -top 1 -f vob
make mpeg2-interlaced-bff.m2v 720x480 30000/1001 4 "${mpeg2[@]}" -flags +ildct+ilme -top 0
make mpeg2-gop3-bframes.mpg 352x288 25 7 "${mpeg2[@]}" -g 3 -bf 2 -f vob
make mpeg1-vcd.mpg 352x240 30000/1001 6 -c:v mpeg1video -qscale:v 31 -f vob
make mpeg1.m1v 320x240 25 4 -c:v mpeg1video -qscale:v 31
# Film with 3:2 pulldown flags, which ffmpeg does not write.
ff -f lavfi -i "color=c=0x806040:s=720x480:r=24000/1001" -frames:v 16 -f yuv4mpegpipe - |
    mpeg2enc --verbose 0 -f 8 -p -q 31 -g 8 -G 8 -o mpeg2-pulldown.m2v 2>/dev/null
mplex --verbose 0 -f 8 -o mpeg2-pulldown.mpg mpeg2-pulldown.m2v
# The same at a DVD rate, where the bytes open reads hold too few pictures to
# show the cadence and the tail must.
ff -f lavfi -i "testsrc2=s=720x480:r=24000/1001,noise=alls=12:allf=t" -frames:v 60 \
    -pix_fmt yuv420p -f yuv4mpegpipe - |
    mpeg2enc --verbose 0 -f 8 -p -b 6000 -g 12 -G 12 -o dvd-rate.m2v 2>/dev/null
mplex --verbose 0 -f 8 -o mpeg2-pulldown-6mbit.mpg dvd-rate.m2v
rm dvd-rate.m2v
# The muxer writes no display matrix, so two copies get theirs set in place.
for turn in "180 -65536 0 0 0 -65536" "270 0 -65536 0 65536 0"; do
    # shellcheck disable=SC2086
    "$tools/set-mp4-matrix.py" hevc-60.mp4 "hevc-60-turned${turn%% *}.mp4" ${turn#* }
done

# MPEG files: frames, running time and scan as quorvel-info gives them, and
# as ffprobe decodes them: the frames counted, each shown for one period or,
# with repeat_pict, one and a half; field order from the first picture.
# ffprobe's own duration leaves the last frame out of a program stream's and
# has none for an elementary stream's, so it is not used. Where frames repeat
# fields ffprobe gives twice the stream's rate, as if counting fields, and an
# average from its own guesses; its rate is halved there. It sets no field
# order for MPEG-1, whose frames are all progressive.
mpegFacts() {
    python3 -c '
import json, sys
d = json.loads(sys.stdin.readline())
missing = [k for k in ("duration", "frames", "scan", "field_order") if k not in d]
if missing:
    print("no", "/".join(missing))
    sys.exit()
order = {"top first": "tt", "bottom first": "bb"}.get(d["field_order"], d["field_order"])
print(d["frames"], "%.3f" % d["duration"] if d["duration"] is not None else "-",
      order or d["scan"] or "-")'
}
# Prints the rate, then the facts as mpegFacts does.
ffprobeMpegFacts() {
    ffprobe -v error -select_streams v:0 -count_frames -of json -show_frames \
        -show_entries stream=codec_name,r_frame_rate,field_order,nb_read_frames:frame=repeat_pict \
        "$1" | python3 -c '
import json, math, sys
from fractions import Fraction
d = json.load(sys.stdin)
s = d["streams"][0]
repeats = any(f.get("repeat_pict", 0) for f in d["frames"])
rate = Fraction(s["r_frame_rate"]) / (2 if repeats else 1)
shown = sum(1 + Fraction(f.get("repeat_pict", 0), 2) for f in d["frames"])
order = s.get("field_order", "progressive" if s["codec_name"] == "mpeg1video" else "-")
ms = math.floor(shown / rate * 1000 + Fraction(1, 2))  # half up, as the reader rounds
print("%d/%d" % (rate.numerator, rate.denominator),
      s["nb_read_frames"], "%d.%03d" % divmod(ms, 1000), order)'
}

failures=0
for file in *; do
    # The running time in milliseconds and the field order, for MP4 and
    # Matroska only ("." elsewhere): "top", "bottom" or "-" when unstated.
    ours=$("$info" --json "$file" | python3 -c '
import json, sys
d = json.loads(sys.stdin.readline())
r, s = d["rate"], d["sar"]
timed = d.get("container") in ("MP4", "Matroska")
duration = d.get("duration")
order = {"top first": "top", "bottom first": "bottom"}.get(d.get("field_order"), "-")
print("%sx%s" % (d["width"], d["height"]), "%s/%s" % (r["num"], r["den"]) if r else "-",
      "%s:%s" % (s["num"], s["den"]) if s else "-", d["rotation"],
      (round(duration * 1000) if duration is not None else "-") if timed else ".",
      order if timed else ".")')
    timed=$(echo "$ours" | awk "{print (\$5 == \".\") ? 0 : 1}")
    # ffprobe says 1:1 where the file says nothing, and turns counter-clockwise.
    # Its stream duration is the media's; Matroska has only the file's. Its
    # field order tb is the top field stored first and the bottom shown
    # first; it reads H.264 streams themselves, whose flags we leave unread.
    theirs=$(ffprobe -v error -select_streams v:0 -of json \
        -show_entries stream=width,height,r_frame_rate,sample_aspect_ratio,duration,field_order:stream_side_data=rotation:format=duration \
        "$file" | TIMED=$timed python3 -c '
import json, os, sys
from decimal import Decimal, ROUND_HALF_UP
d = json.load(sys.stdin)
s = d["streams"][0]
turn = next((int(x["rotation"]) for x in s.get("side_data_list", []) if "rotation" in x), 0)
timed = os.environ["TIMED"] == "1"
seconds = s.get("duration", d.get("format", {}).get("duration"))
order = {"tt": "top", "bt": "top", "bb": "bottom", "tb": "bottom"}.get(s.get("field_order"), "-")
print("%sx%s" % (s["width"], s["height"]), s["r_frame_rate"], s.get("sample_aspect_ratio", "-"),
      -turn % 360,
      (Decimal(seconds).scaleb(3).quantize(1, ROUND_HALF_UP) if seconds else "-") if timed else ".",
      order if timed else ".")')
    case $file in
    *.mpg | *.m2v | *.m1v)
        ours="$ours, $("$info" --json "$file" | mpegFacts)"
        read -r rate facts <<<"$(ffprobeMpegFacts "$file")"
        read -r size _ rest <<<"$theirs"
        theirs="$size $rate $rest, $facts"
        ;;
    esac
    if [ "$ours" = "$theirs" ] || [ "${ours/ - / 1:1 }" = "$theirs" ]; then
        echo "same      $file: $ours"
    else
        echo "DIFFERENT $file: quorvel-info $ours, ffprobe $theirs"
        failures=$((failures + 1))
    fi
done
exit $((failures > 0))
