#!/usr/bin/python3
"""Turns raw pixels as ZEMImage holds them into a PNG to look at.

usage: raw2png.py RAW WIDTH HEIGHT BPP OUT.png [SCALE]

8 bits are read as 3-3-2 RGB, 15 as 5-5-5, 16 as 5-6-5 (little-endian words), 24 and 32 as
blue, green, red (and a fourth byte, ignored), the way pictures read from files hold them.
"""
import sys

from PIL import Image


def rgb(data, i, bpp):
    if bpp == 8:
        v = data[i]
        return (v >> 5) * 255 // 7, ((v >> 2) & 7) * 255 // 7, (v & 3) * 255 // 3
    if bpp in (15, 16):
        v = data[i] | data[i + 1] << 8
        if bpp == 15:
            return (v >> 10 & 31) * 255 // 31, (v >> 5 & 31) * 255 // 31, (v & 31) * 255 // 31
        return (v >> 11) * 255 // 31, (v >> 5 & 63) * 255 // 63, (v & 31) * 255 // 31
    return data[i + 2], data[i + 1], data[i]


def main():
    path, width, height, bpp, out = sys.argv[1], *map(int, sys.argv[2:5]), sys.argv[5]
    scale = int(sys.argv[6]) if len(sys.argv) > 6 else 1
    data = open(path, "rb").read()
    size = (bpp + 7) // 8
    picture = Image.new("RGB", (width, height))
    for y in range(height):
        for x in range(width):
            picture.putpixel((x, y), rgb(data, (y * width + x) * size, bpp))
    picture.resize((width * scale, height * scale), Image.NEAREST).save(out)


if __name__ == "__main__":
    main()
