#!/usr/bin/env python3
"""Copies a MOV file with its first clap box's clean aperture set in place.

ffmpeg's muxer writes a clap only for uncompressed video, and then of the
whole frame, so the cropped test file gets its aperture here.

    tools/set-mp4-clap.py IN OUT WN WD HN HD HOFFN HOFFD VOFFN VOFFD

Width, height, horizontal and vertical offset of the aperture's centre, each
a numerator and a denominator; the offsets are signed.
"""
import struct
import sys

source, target, *numbers = sys.argv[1:]
data = bytearray(open(source, "rb").read())
at = data.index(b"clap") + 4
w_n, w_d, h_n, h_d, ho_n, ho_d, vo_n, vo_d = map(int, numbers)
data[at:at + 32] = struct.pack(">IIIIiIiI", w_n, w_d, h_n, h_d, ho_n, ho_d, vo_n, vo_d)
open(target, "wb").write(data)
