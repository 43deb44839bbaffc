#!/bin/sh
# Remakes the tiny MP4, MOV and 3GP files in tests/data/mp4/ that the reader's
# tests check. Needs ffmpeg and python3; the tests themselves need neither.
# Each file holds two or three frames of a plain colour, so the whole set stays
# a few tens of kilobytes. Names say what ffprobe reports: codec tag, coded
# size, rate (num-den for fractions), then the shape, rotation or layout.
set -eu
tools="$(cd "$(dirname "$0")" && pwd)"
cd "$tools/../tests/data/mp4"

exact="-fflags +bitexact -flags:v +bitexact -map_metadata -1"

# make NAME FILTER FRAMES ENCODER OPTIONS...: FILTER follows the colour source
# (with its rate and size); ENCODER is x264, x265 or any ffmpeg encoder.
make() {
    name=$1 src=$2 frames=$3 encoder=$4
    shift 4
    case $encoder in
    x264) encoder="libx264 -preset ultrafast" ;;
    x265) encoder="libx265 -preset ultrafast" ;;
    esac
    # shellcheck disable=SC2086
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "color=c=0x406080:$src" -frames:v "$frames" \
        -c:v $encoder "$@" $exact "$name"
}

make avc1-64x48-25.mp4 "s=64x48:r=25" 3 x264
make avc1-64x48-25-faststart.mp4 "s=64x48:r=25" 3 x264 -movflags +faststart
make avc1-64x48-24000-1001.mp4 "s=64x48:r=24000/1001" 3 x264
make avc1-64x48-30000-1001.mp4 "s=64x48:r=30000/1001" 3 x264
make avc1-64x48-24-fragmented.mp4 "s=64x48:r=24" 3 x264 -movflags frag_keyframe+empty_moov
# The shape in pasp, in the SPS only (no pasp: the stream's own ratio is
# unset, a bitstream filter writes it), and nowhere.
make avc1-64x48-25-sar16-11.mp4 "s=64x48:r=25,setsar=16/11" 3 x264
make avc1-64x48-25-sps-sar16-11.mp4 "s=64x48:r=25,setsar=0" 3 x264 \
    -bsf:v h264_metadata=sample_aspect_ratio=16/11
make avc1-64x48-25-nosar.mp4 "s=64x48:r=25,setsar=0" 3 x264
# Frames at 0, 1, 3 and 4 twenty-fifths of a second: durations 1, 2, 1, 1.
make avc1-64x48-vfr-avg-20.mp4 "s=64x48:r=25,setpts='(N+gte(N\,2))/(25*TB)'" 4 x264 \
    -fps_mode vfr -video_track_timescale 1000
# An AAC track before the video track.
# shellcheck disable=SC2086
ffmpeg -nostdin -loglevel error -y -f lavfi -i "color=c=0x406080:s=64x48:r=25" \
    -f lavfi -i "anullsrc=r=8000:cl=mono" -map 1:a -map 0:v -frames:v 3 -t 0.12 \
    -c:v libx264 -preset ultrafast -c:a aac -b:a 8k $exact avc1-64x48-25-audio-first.mp4
make hev1-64x48-25.mp4 "s=64x48:r=25" 2 x265 -x265-params log-level=none
make hvc1-64x48-50-sps-sar4-3.mp4 "s=64x48:r=50,setsar=0" 2 x265 -tag:v hvc1 \
    -x265-params log-level=none:sar=14
make mp4v-64x48-25.mp4 "s=64x48:r=25" 3 mpeg4
make avc1-64x48-25.mov "s=64x48:r=25" 3 x264
make jpeg-64x48-30.mov "s=64x48:r=30" 2 mjpeg -q:v 31
make s263-128x96-15.3gp "s=128x96:r=15" 2 h263

# The muxer writes no display matrix from options here, so the rotated file
# gets its tkhd matrix set in place: a quarter turn clockwise (a b u c d:
# 0 1 0 -1 0), which ffprobe shows as a rotation of -90 (counter-clockwise).
"$tools/set-mp4-matrix.py" avc1-64x48-25.mp4 avc1-64x48-25-rotate90.mp4 0 65536 0 -65536 0

# Interlaced MPEG-2 with its field order in fiel: top first in a MOV, bottom
# first in an MP4.
make m2v1-64x48-30000-1001-tff.mov "s=64x48:r=30000/1001" 2 mpeg2video -qscale:v 31 \
    -flags +ildct+ilme -top 1 -field_order tt
make mp4v-64x48-25-bff.mp4 "s=64x48:r=25" 2 mpeg2video -qscale:v 31 -flags +ildct+ilme -top 0 \
    -field_order bb
# Uncompressed, the top field stored first and the bottom shown first (fiel
# 9), with a clean aperture of 24x20 moved 2 pixels left: crop 2, 2, 6, 2.
make 2vuy-32x24-25-tb.mov "s=32x24:r=25" 2 rawvideo -pix_fmt uyvy422 -field_order tb
"$tools/set-mp4-clap.py" 2vuy-32x24-25-tb.mov 2vuy-32x24-25-tb-clap.mov 24 1 20 1 -2 1 0 1
rm 2vuy-32x24-25-tb.mov
# 30000/1001 in a 57600 timescale: frames of 1921 and 1922 ticks.
make avc1-64x48-30000-1001-ts57600.mp4 "s=64x48:r=30000/1001" 8 x264 -video_track_timescale 57600
# Long running time from a tiny file: three frames half an hour apart.
make jpeg-64x48-1-1800.mov "s=64x48:r=1/1800" 3 mjpeg -q:v 31
# Edit lists: an empty edit delays the start by two seconds; B-frames make
# the one edit start past the media's first ticks.
make avc1-64x48-25-delay2s.mp4 "s=64x48:r=25,setpts=PTS+2/TB" 3 x264
make avc1-64x48-25-bframes.mp4 "s=64x48:r=25" 5 libx264 -preset medium -bf 2
# A recording cut before its index was written: everything up to the moov.
python3 - <<'PY'
data = open("avc1-64x48-25.mp4", "rb").read()
open("avc1-64x48-25-cut.mp4", "wb").write(data[: data.index(b"moov") - 4])
PY
# Chapters at 0, 40 and 80 ms and Spanish sound: ffmpeg writes Nero's chpl
# (and a chapter reference to a track it leaves out).
printf ';FFMETADATA1\n' >chapters.txt
for ms in 0 40 80; do
    printf '[CHAPTER]\nTIMEBASE=1/1000\nSTART=%s\nEND=%s\n' $ms $((ms + 40)) >>chapters.txt
done
# shellcheck disable=SC2086
ffmpeg -nostdin -loglevel error -y -f lavfi -i "color=c=0x406080:s=64x48:r=25" \
    -f lavfi -i "anullsrc=r=8000:cl=mono" -i chapters.txt -map 0:v -map 1:a -map_chapters 2 \
    -metadata:s:a:0 language=spa -frames:v 3 -t 0.12 -c:v libx264 -preset ultrafast -c:a aac \
    -b:a 8k -fflags +bitexact -flags:v +bitexact avc1-64x48-25-chapters-spa.mp4
rm chapters.txt
