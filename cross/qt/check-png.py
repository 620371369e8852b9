#!/usr/bin/env python3
"""Checks that a PNG shows a window with text: big enough, mostly light background and some
dark ink. Used by scripts/build-windows --test on the pictures the smoke program saves.
Usage: check-png.py FILE [MIN_WIDTH MIN_HEIGHT]. Prints one summary line; exit 1 if blank."""
import struct
import sys
import zlib

CHANNELS = {0: 1, 2: 3, 4: 2, 6: 4}  # colour type -> samples per pixel (8-bit only)


def decode(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, head = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            head = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = head
    if depth != 8 or colour not in CHANNELS or interlace:
        raise ValueError(f"unsupported PNG layout depth={depth} colour={colour}")
    bpp = CHANNELS[colour]
    raw, stride, rows, prev = zlib.decompress(idat), width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    grey = []
    for line in rows:
        for x in range(width):
            px = line[x * bpp:(x + 1) * bpp]
            grey.append(px[0] if bpp <= 2 else (px[0] * 30 + px[1] * 59 + px[2] * 11) // 100)
    return width, height, grey


def main():
    path = sys.argv[1]
    min_w = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    min_h = int(sys.argv[3]) if len(sys.argv) > 3 else 20
    width, height, grey = decode(path)
    total = len(grey)
    dark = sum(1 for g in grey if g < 96) / total
    light = sum(1 for g in grey if g > 200) / total
    levels = len(set(grey))
    print(f"{path}: {width}x{height}, {levels} grey levels, {dark:.1%} dark, {light:.1%} light")
    problems = []
    if width < min_w or height < min_h:
        problems.append(f"smaller than {min_w}x{min_h}")
    if levels < 2:
        problems.append("blank: a single colour")
    if not 0.002 <= dark <= 0.4:
        problems.append("no text-like dark ink (expected 0.2% to 40% of the pixels)")
    if light < 0.5:
        problems.append("not a light window background")
    for problem in problems:
        print(f"{path}: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
