#!/usr/bin/env python3
"""Checks that a PNG shows a window with text: big enough, mostly light background and some
dark ink. Used by scripts/build-windows --test on the pictures the smoke program saves.
Usage: check-png.py FILE [MIN_WIDTH MIN_HEIGHT]. Prints one summary line; exit 1 if blank."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from png_reader import decode  # noqa: E402

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
