#!/usr/bin/env python3
"""Draws the program's icon and writes Dazuzadi.ico: one 32 x 32 image,
24 bits per pixel, stored as a bitmap (not PNG) so every Windows reads it.

The picture: a game card, seen from the front, with a green chip being
swapped in along an arrow. Run it again after changing the drawing and
commit both files."""

import struct
import sys

SIZE = 32
BACKGROUND = (36, 52, 92)
CARD = (206, 210, 218)
CARD_EDGE = (120, 126, 140)
LABEL = (232, 96, 64)
CHIP = (64, 176, 96)
CHIP_PIN = (250, 214, 90)
ARROW = (250, 250, 250)


def draw():
    px = [[BACKGROUND for _ in range(SIZE)] for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, color):
        for y in range(y0, y1):
            for x in range(x0, x1):
                px[y][x] = color

    # The card, with a notched top-right corner and a label.
    rect(4, 3, 22, 29, CARD_EDGE)
    rect(5, 4, 21, 28, CARD)
    for i in range(4):
        rect(21 - 4 + i, 3 + i, 22, 4 + i, BACKGROUND)
    rect(7, 7, 19, 15, LABEL)
    for x in range(7, 19, 2):  # the contacts along the bottom
        rect(x, 24, x + 1, 28, CARD_EDGE)
    # The chip on its way in, with its pins.
    rect(21, 18, 29, 26, CHIP)
    for y in range(19, 26, 2):
        px[y][20] = CHIP_PIN
        px[y][29] = CHIP_PIN
    # The arrow from the chip into the card.
    rect(12, 20, 21, 22, ARROW)
    for i in range(4):
        rect(12 - i - 1, 21 - i - 1, 12 - i, 21 + i + 1, ARROW)
    return px


def ico(px):
    xor = b"".join(
        b"".join(bytes((c[2], c[1], c[0])) for c in px[y]) for y in reversed(range(SIZE))
    )
    mask = bytes(4 * SIZE)  # every pixel opaque; rows of 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 24, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 24, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "Dazuzadi.ico"
    with open(out, "wb") as f:
        f.write(ico(draw()))
