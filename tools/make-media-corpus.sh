#!/bin/sh
# Remakes the tiny Matroska, MPEG and other files in tests/data/{mkv,mpeg,other}/
# that the container readers' and the sniffer's tests check. Needs ffmpeg
# (apt-get install ffmpeg); the tests themselves do not. Each file holds two or
# three plain-colour frames at the coarsest quantiser, so each stays a few KB.
set -eu
data="$(cd "$(dirname "$0")/../tests/data" && pwd)"
mkdir -p "$data/mkv" "$data/mpeg" "$data/other"

exact="-fflags +bitexact -flags:v +bitexact -flags:a +bitexact"
# Other video flags go after $exact, in one -flags:v with +bitexact, or it
# would replace them.
ff() {
    # shellcheck disable=SC2086
    ffmpeg -nostdin -loglevel error -y "$@"
}
# color SIZE RATE: the lavfi source every file starts from.
color() { echo "color=c=0x406080:s=$1:r=$2"; }

cd "$data/mkv"
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 160x120 25)" -frames:v 2 -c:v libvpx-vp9 -crf 63 -b:v 0 \
    -deadline realtime $exact vp9-160x120-25.webm
# Anamorphic: 320x240 shown at 16:9, so each pixel is 4:3.
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 320x240 30000/1001)" -frames:v 2 -c:v libx264 -preset ultrafast \
    -qp 51 -aspect 16:9 $exact h264-320x240-sar4x3-30000-1001.mkv
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 176x144 24000/1001)" -frames:v 3 -vf setsar=12/11 -c:v libx264 \
    -preset ultrafast -qp 51 $exact h264-176x144-sar12x11-24000-1001.mkv
# Written to a pipe, as a live recording is: Segment and Cluster of unknown size.
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 160x90 50)" -frames:v 2 -c:v libvpx-vp9 -crf 63 -b:v 0 \
    -deadline realtime $exact -live 1 -f webm - >live-160x90-50.webm
cd "$data/mpeg"
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 720x576 25)" -frames:v 2 -c:v mpeg2video -qscale:v 31 -aspect 16:9 \
    $exact -f vob ps-mpeg2-720x576-dar16x9-25.mpg
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 720x480 30000/1001)" -frames:v 2 -c:v mpeg2video -qscale:v 31 \
    -aspect 4:3 $exact -f vob ps-mpeg2-720x480-dar4x3-30000-1001.mpg
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 176x144 24000/1001)" -frames:v 2 -c:v mpeg2video -qscale:v 31 \
    $exact -f mpeg2video es-mpeg2-176x144-24000-1001.m2v
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 352x288 25)" -frames:v 2 -c:v mpeg1video -qscale:v 31 $exact \
    -f mpeg ps-mpeg1-352x288-25.mpg
# 4:3 on 352x288 asks for 12:11 pixels; MPEG-1's nearest code is 8 (0.9157).
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 352x288 25)" -frames:v 2 -c:v mpeg1video -qscale:v 31 -aspect 4:3 \
    $exact -f mpeg ps-mpeg1-352x288-code8-25.mpg
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 160x120 24)" -frames:v 2 -c:v mpeg1video -qscale:v 31 $exact \
    -f mpeg1video es-mpeg1-160x120-24.m1v

cd "$data/other"
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 64x48 25)" -frames:v 1 -c:v mpeg2video -qscale:v 31 $exact \
    -f mpegts mpeg2-in-transport-stream.ts
# shellcheck disable=SC2086
ff -f lavfi -i "anullsrc=r=8000:cl=mono" -t 0.05 -c:a pcm_u8 $exact silence.wav
# What the sniffer names and refuses: raw H.264 and H.265 streams (one opening
# with a delimiter), IVF files of AV1, VP9 and VP8, and MPEG audio layers II and III.
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 64x48 25)" -frames:v 1 -c:v libx264 -preset ultrafast -qp 51 $exact \
    -f h264 raw-64x48.h264
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 64x48 25)" -frames:v 1 -c:v libx264 -preset ultrafast -qp 51 \
    -x264-params aud=1 $exact -f h264 raw-aud-64x48.h264
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 64x48 25)" -frames:v 1 -c:v libx265 -preset ultrafast \
    -x265-params log-level=none:info=0 $exact -f hevc raw-64x48.hevc
# Interlaced: x264 codes field pairs (frame_mbs_only_flag 0, pic_struct in
# SEI); x265 codes fields (field_seq_flag 1).
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 64x48 25)" -frames:v 2 -c:v libx264 -preset ultrafast -qp 51 \
    -top 1 $exact -flags:v +bitexact+ildct+ilme -f h264 raw-interlaced-64x48.h264
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 64x48 25)" -frames:v 2 -c:v libx265 -preset ultrafast \
    -x265-params log-level=none:info=0:interlace=tff $exact -f hevc raw-fields-64x48.hevc
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 64x48 25)" -frames:v 1 -c:v libaom-av1 -cpu-used 8 -crf 63 $exact \
    -f ivf av1-64x48.ivf
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 64x48 25)" -frames:v 1 -c:v libvpx-vp9 -deadline realtime -crf 63 \
    -b:v 0 $exact -f ivf vp9-64x48.ivf
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 64x48 25)" -frames:v 1 -c:v libvpx -deadline realtime $exact \
    -f ivf vp8-64x48.ivf
# shellcheck disable=SC2086
ff -f lavfi -i "anullsrc=r=32000:cl=mono" -t 0.05 -c:a mp2 -b:a 32k $exact silence.mp2
# shellcheck disable=SC2086
ff -f lavfi -i "anullsrc=r=32000:cl=mono" -t 0.05 -c:a libmp3lame -b:a 32k $exact silence.mp3
