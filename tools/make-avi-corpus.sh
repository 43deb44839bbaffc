#!/bin/sh
# Remakes the tiny AVI files in tests/data/avi/ that the reader's tests check.
# Needs ffmpeg (apt-get install ffmpeg); the tests themselves do not.
# Each file is one plain-colour MJPEG frame (plus 0.1 s of 8 kHz audio where
# there is audio), so the whole set stays a few tens of kilobytes.
set -eu
cd "$(dirname "$0")/../tests/data/avi"

exact="-fflags +bitexact -flags:v +bitexact -flags:a +bitexact"

# video NAME SIZE RATE: one frame, no audio. Full chroma keeps odd sizes odd.
video() {
    # shellcheck disable=SC2086
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "color=c=0x406080:s=$2:r=$3,format=yuvj444p" \
        -frames:v 1 -c:v mjpeg -q:v 31 $exact "$1"
}

# shaped NAME SIZE RATE ASPECT: one frame shown at ASPECT, which the muxer
# writes into the OpenDML vprp chunk.
shaped() {
    # shellcheck disable=SC2086
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "color=c=0x406080:s=$2:r=$3,format=yuvj444p" \
        -frames:v 1 -c:v mjpeg -q:v 31 -aspect "$4" $exact "$1"
}

# fielded NAME SIZE RATE FRAMES ORDER: FRAMES frames whose vprp chunk describes
# two fields, ORDER "tt" (top first) or "bb"; the muxer writes vprp only for
# a stated aspect.
fielded() {
    # shellcheck disable=SC2086
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "color=c=0x406080:s=$2:r=$3,format=yuvj444p" \
        -frames:v "$4" -c:v mjpeg -q:v 31 -aspect 4:3 -field_order "$5" $exact "$1"
}

# with_audio NAME SIZE RATE ORDER: video and audio, ORDER is "video" or "audio"
# for the stream that comes first.
with_audio() {
    if [ "$4" = audio ]; then map="-map 1:a -map 0:v"; else map="-map 0:v -map 1:a"; fi
    # shellcheck disable=SC2086
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "color=c=0x406080:s=$2:r=$3" \
        -f lavfi -i "anullsrc=r=8000:cl=mono" $map -t 0.1 -frames:v 1 \
        -c:v mjpeg -q:v 31 -c:a pcm_u8 $exact "$1"
}

# dv NAME SIZE RATE PIXFMT: one DV frame, the file cut after its headers
# (a whole frame is 120 to 144 kB).
dv() {
    # shellcheck disable=SC2086
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "color=c=0x406080:s=$2:r=$3" \
        -frames:v 1 -c:v dvvideo -pix_fmt "$4" $exact "$1.whole.avi"
    head -c 8192 "$1.whole.avi" >"$1"
    rm "$1.whole.avi"
}

video ntsc-640x480-30000-1001.avi 640x480 30000/1001
video cif-352x288-25.avi 352x288 25
video hd-1280x720-24000-1001.avi 1280x720 24000/1001
video pal-720x576-25.avi 720x576 25
video film-640x272-24.avi 640x272 24
video rate-320x240-15.avi 320x240 15
video rate-320x240-50.avi 320x240 50
video rate-320x240-60.avi 320x240 60
video odd-102x128-25.avi 102x128 25
video odd-101x75-30.avi 101x75 30
shaped wide-352x288-sar16x11-25.avi 352x288 25 16:9
fielded interlaced-tt-64x48-25.avi 64x48 25 3 tt
fielded interlaced-bb-64x48-30000-1001.avi 64x48 30000/1001 3 bb
with_audio audio-after-352x288-25.avi 352x288 25 video
with_audio audio-first-320x240-30000-1001.avi 320x240 30000/1001 audio
dv dv-720x576-25-cut.avi 720x576 25 yuv420p
dv dv-720x480-30000-1001-cut.avi 720x480 30000/1001 yuv411p
