#!/usr/bin/env python3
"""Draws icon 107: white glyphs, a number sign above the letters "PV", on a blue field; 16 x 16
pixels in 16 colours. Writes res/pelivor.ico; run it again after changing the picture."""
import os
import struct

PICTURE = [
    "................",
    ".....#...#......",
    ".....#...#......",
    "...#########....",
    ".....#...#......",
    "...#########....",
    ".....#...#......",
    ".....#...#......",
    "................",
    "...###...#...#..",
    "...#..#..#...#..",
    "...###...#...#..",
    "...#......#.#...",
    "...#.......#....",
    "................",
    "................",
]

# The 16 standard colours; the field uses navy-ish blue (index 4), the glyphs white (index 15).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
FIELD, GLYPH = 4, 15


def icon_bytes():
    size = 16
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor = b""
    for row in reversed(PICTURE):  # bitmaps are stored bottom-up
        indices = [GLYPH if c == "#" else FIELD for c in row]
        xor += bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
    mask = bytes(4 * size)  # every pixel opaque; rows are padded to 32 bits
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pelivor.ico")
    with open(out, "wb") as f:
        f.write(icon_bytes())
