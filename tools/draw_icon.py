#!/usr/bin/env python3
"""Draws the uninstaller's icon: a document with a red cross, 32 x 32, 16 colours."""
import struct
import sys

SIZE = 32
# The standard 16-colour palette (blue, green, red, reserved).
PALETTE = [(0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
           (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0),
           (0, 255, 255), (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255)]
BLACK, GREY, RED, WHITE, NAVY = 0, 8, 12, 15, 4


def draw():
    """Returns rows top to bottom of (colour index, opaque) pairs."""
    pixels = [[(0, False)] * SIZE for _ in range(SIZE)]
    for y in range(2, 30):
        for x in range(5, 27):
            edge = x in (5, 26) or y in (2, 29)
            pixels[y][x] = (BLACK if edge else WHITE, True)
    for y in range(6, 24, 3):
        for x in range(8, 24):
            pixels[y][x] = (GREY, True)
    for i in range(16):
        for t in range(-1, 2):
            for x, y in ((8 + i + t, 8 + i), (23 - i + t, 8 + i)):
                pixels[y + 4][x] = (RED, True)
    return pixels


def ico(pixels):
    xor_rows, and_rows = [], []
    for row in reversed(pixels):  # bitmaps are stored bottom-up
        xor = bytearray()
        for x in range(0, SIZE, 2):
            xor.append((row[x][0] << 4) | row[x + 1][0])
        mask = 0
        for x in range(SIZE):
            mask = (mask << 1) | (0 if row[x][1] else 1)
        xor_rows.append(bytes(xor))
        and_rows.append(struct.pack(">I", mask))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4,
                                                           len(image), 6 + 16)
    return directory + image


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(ico(draw()))
