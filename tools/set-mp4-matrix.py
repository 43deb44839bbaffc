#!/usr/bin/env python3
"""Copies an MP4 file with the first tkhd's display matrix set in place.

ffmpeg's muxer writes no display matrix from options, so the turned test
files get theirs here.

    tools/set-mp4-matrix.py IN OUT A B U C D

A B U C D are the matrix's first five 32-bit words (16.16 fixed point):
a quarter turn clockwise is 0 65536 0 -65536 0.
"""
import struct
import sys

source, target, *words = sys.argv[1:]
data = bytearray(open(source, "rb").read())
at = data.index(b"tkhd") + 4
matrix = at + (52 if data[at] == 1 else 40)
data[matrix:matrix + 20] = struct.pack(">5i", *map(int, words))
open(target, "wb").write(data)
