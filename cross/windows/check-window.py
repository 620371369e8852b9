#!/usr/bin/env python3
"""Checks a picture of the main window that kstbell saved (KSTBELL_SCREENSHOT) and the texts
saved beside it: the window's size, the headline drawn inside the place the layout gives it, and
every expected text. Used by scripts/build-windows --test on the Windows program under Wine.
Usage: check-window.py PICTURE WIDTH HEIGHT [TEXT...]   (each TEXT must be a line of PICTURE.txt)
The headline check applies when "Label4: Get Device Linked!!" is expected."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "qt"))
from png_reader import decode_rgb  # noqa: E402

# Label4, the headline, in the main window: left, top, width, height.
HEADLINE = (9, 22, 316, 23)
NAVY = (0, 0, 0x80)


def main():
    path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    expected = sys.argv[4:]
    problems = []
    w, h, pixels = decode_rgb(path)
    if (w, h) != (width, height):
        problems.append(f"{w}x{h}, not {width}x{height}")
    with open(path + ".txt", encoding="utf-8") as f:
        lines = [line.rstrip("\r\n") for line in f]
    for text in expected:
        if text not in lines:
            problems.append(f"no line \"{text}\"")
    if "Label4: Get Device Linked!!" in expected and not problems:
        navy = [(i % w, i // w) for i, p in enumerate(pixels) if p == NAVY]
        left, top, wide, high = HEADLINE
        outside = [p for p in navy if not (left <= p[0] < left + wide and top <= p[1] < top + high)]
        if not navy:
            problems.append("the headline is not drawn in navy")
        elif outside:
            problems.append(f"{len(outside)} navy pixels outside the headline's place")
        else:
            xs, ys = [p[0] for p in navy], [p[1] for p in navy]
            print(f"{path}: headline at x {min(xs)}..{max(xs)}, y {min(ys)}..{max(ys)}")
    for line in lines:
        if line.startswith(("title:", "font:")):
            print(f"{path}: {line}")
    for problem in problems:
        print(f"{path}: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
