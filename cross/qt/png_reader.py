"""Reads an 8-bit, non-interlaced PNG (what Qt saves) into pixels, without any library."""
import struct
import zlib

CHANNELS = {0: 1, 2: 3, 4: 2, 6: 4}  # colour type -> samples per pixel (8-bit only)


def decode_rgb(path):
    """Width, height and the pixels as (red, green, blue) tuples, row after row."""
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
    pixels = []
    for line in rows:
        for x in range(width):
            px = line[x * bpp:(x + 1) * bpp]
            pixels.append((px[0], px[0], px[0]) if bpp <= 2 else (px[0], px[1], px[2]))
    return width, height, pixels


def decode(path):
    """Width, height and the pixels as grey levels 0 to 255."""
    width, height, pixels = decode_rgb(path)
    return width, height, [(r * 30 + g * 59 + b * 11) // 100 for r, g, b in pixels]


