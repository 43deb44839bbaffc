#!/bin/sh
# Remakes the tiny Matroska, MPEG and other files in tests/data/{mkv,mpeg,other}/
# that the container readers' and the sniffer's tests check. Needs ffmpeg and
# mkvtoolnix and mjpegtools (apt-get install ffmpeg mkvtoolnix mjpegtools); the tests themselves do not. Each file holds two or
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
# Interlaced MPEG-2, bottom field first: ffmpeg writes FlagInterlaced and
# FieldOrder.
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 64x48 30000/1001)" -frames:v 2 -c:v mpeg2video -qscale:v 31 \
    -flags +ildct+ilme -top 0 -field_order bb $exact mpeg2-64x48-30000-1001-bff.mkv
# mkvmerge, from raw H.264 (its Segment UID fixed by --deterministic): 720x576
# cropped by 72 lines at the top and the bottom, shown at 720x576, so each
# pixel is 3:4; a field order alone (FlagInterlaced left undetermined); and a
# field order with FlagInterlaced set by mkvpropedit.
mkv() {
    out=$1
    shift
    mkvmerge -q --deterministic 18 --disable-track-statistics-tags -o "$out" "$@"
}
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 720x576 25)" -frames:v 2 -c:v libx264 -preset ultrafast -qp 51 $exact \
    -f h264 720x576.h264
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 64x48 25)" -frames:v 2 -c:v libx264 -preset ultrafast -qp 51 $exact \
    -f h264 64x48.h264
mkv h264-720x576-25-crop0-72-0-72.mkv --cropping 0:0,72,0,72 720x576.h264
mkv h264-64x48-25-tff.mkv --field-order 0:1 64x48.h264
mkv h264-64x48-25-bff-interlaced.mkv --field-order 0:6 64x48.h264
mkvpropedit -q h264-64x48-25-bff-interlaced.mkv --edit track:v1 --set interlaced=1
# Chapters at 0, 40 and 80 ms with German sound from mkvmerge (a SeekHead
# names them), and at 0 and 80 ms with French sound from ffmpeg.
printf 'CHAPTER01=00:00:00.000\nCHAPTER01NAME=a\nCHAPTER02=00:00:00.040\nCHAPTER02NAME=b\nCHAPTER03=00:00:00.080\nCHAPTER03NAME=c\n' >chapters.txt
ff -f lavfi -i "anullsrc=r=8000:cl=mono" -t 0.12 -c:a mp2 -b:a 32k sound.mka
mkv h264-64x48-25-chapters-ger.mkv --chapters chapters.txt 64x48.h264 --language 0:ger sound.mka
printf ';FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=80\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=80\nEND=120\n' >chapters.txt
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 64x48 25)" -i sound.mka -i chapters.txt -map 0:v -map 1:a -map_chapters 2 \
    -metadata:s:a:0 language=fre -frames:v 3 -c:v libx264 -preset ultrafast -qp 51 -c:a copy \
    $exact h264-64x48-25-chapters-fre.mkv
rm chapters.txt sound.mka
rm 720x576.h264 64x48.h264
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
# Interlaced DVD streams: PAL top field first, NTSC bottom field first; and a
# bottom-first elementary stream.
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 720x576 25)" -frames:v 3 -target pal-dvd $exact \
    -flags:v +bitexact+ildct+ilme -top 1 ps-mpeg2-720x576-pal-dvd-tff-25.mpg
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 720x480 30000/1001)" -frames:v 3 -target ntsc-dvd $exact \
    -flags:v +bitexact+ildct+ilme -top 0 ps-mpeg2-720x480-ntsc-dvd-bff-30000-1001.mpg
# shellcheck disable=SC2086
ff -f lavfi -i "$(color 176x144 25)" -frames:v 2 -c:v mpeg2video -qscale:v 31 $exact \
    -flags:v +bitexact+ildct+ilme -top 0 -f mpeg2video es-mpeg2-176x144-bff-25.m2v
# Film with 3:2 pulldown flags (repeat_first_field), which ffmpeg does not
# write: mpeg2enc codes 12 film frames in two GOPs with B pictures, mplex puts
# them in a program stream. Pulldown needs a frame of two equal field pictures:
# 352x480 is the smallest DVD size it takes.
ff -f lavfi -i "$(color 352x480 24000/1001)" -frames:v 12 -f yuv4mpegpipe - |
    mpeg2enc --verbose 0 -f 8 -p -q 31 -g 6 -G 6 -R 2 -o es-mpeg2-352x480-pulldown.m2v 2>/dev/null
mplex --verbose 0 -f 8 -o ps-mpeg2-352x480-pulldown.mpg es-mpeg2-352x480-pulldown.m2v
# Long running times in a few kilobytes: two short streams end to end, the
# second's time stamps (or GOP time code) an hour and a half on. And one whose
# time stamps cross the 33-bit wrap (2^33 / 90 kHz = 95443.72 s) between them.
stamped() {
    # shellcheck disable=SC2086
    ff -f lavfi -i "$(color 176x144 25)" -frames:v 2 -c:v mpeg2video -qscale:v 31 $exact "$@"
}
stamped -output_ts_offset 0 -f vob part1.mpg
stamped -output_ts_offset 5525.5 -f vob part2.mpg
cat part1.mpg part2.mpg >ps-mpeg2-176x144-long-25.mpg
stamped -f mpeg2video part1.m2v
stamped -timecode 01:32:05:01 -f mpeg2video part2.m2v
cat part1.m2v part2.m2v >es-mpeg2-176x144-long-25.m2v
stamped -output_ts_offset 95440 -f vob part1.mpg
stamped -output_ts_offset 95450 -f vob part2.mpg
cat part1.mpg part2.mpg >ps-mpeg2-176x144-wrap-25.mpg
rm part1.mpg part2.mpg part1.m2v part2.m2v

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
