#!/usr/bin/env python3
"""Draws the two pointer files shipped beside the program.

HAND-M.CUR: a pointing hand, 32 x 32, 32-bit Windows cursor, hotspot at the tip
of the index finger. drag.ico: a four-way "move" sign, 32 x 32, 32-bit icon.

    python3 resources/tools/make_cursors.py [OUTPUT_FOLDER]
"""

import math
import os
import sys

import formats
from raster import Canvas

SIZE = 32
BLACK = (0, 0, 0, 255)
WHITE = (255, 255, 255, 255)
SHADE = (200, 200, 200, 255)


def _capsule(ax, ay, bx, by, r):
    """Inside test of a segment from (ax, ay) to (bx, by) thickened by r."""

    def inside(x, y):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) <= r

    return inside


def _box(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def hand():
    """Returns (canvas, hotspot) of the pointing hand."""
    parts = [
        _capsule(11.0, 2.0, 11.0, 16.0, 2.5),  # index finger, pointing up
        _capsule(15.5, 9.5, 15.5, 16.0, 2.3),  # middle finger, folded
        _capsule(19.8, 10.5, 19.8, 16.0, 2.3),  # ring finger
        _capsule(23.8, 12.0, 23.8, 17.0, 2.0),  # little finger
        _box(8.5, 14.0, 25.5, 25.0),  # palm
        _capsule(12.0, 24.0, 22.0, 24.0, 3.5),  # heel of the hand
        _capsule(5.0, 15.0, 10.0, 20.5, 2.9),  # thumb
    ]
    filled = [[any(p(x + 0.5, y + 0.5) for p in parts) for x in range(SIZE)] for y in range(SIZE)]
    c = Canvas(SIZE, SIZE)
    for y in range(SIZE):
        for x in range(SIZE):
            if not filled[y][x]:
                continue
            edge = any(not (0 <= x + dx < SIZE and 0 <= y + dy < SIZE and filled[y + dy][x + dx])
                       for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            c.set(x, y, BLACK if edge else WHITE)
    # Creases between the folded fingers, and a shade along the right of each.
    for crease_x, top in ((13, 9), (17, 10), (21, 12)):
        for y in range(top, 16):
            if filled[y][crease_x]:
                c.set(crease_x, y, BLACK)
    for y in range(SIZE):
        for x in range(SIZE - 1):
            if c.get(x, y) == WHITE and c.get(x + 1, y) == BLACK:
                c.set(x, y, SHADE)
    tip_y = min(y for y in range(SIZE) if any(filled[y]))
    tip_x = [x for x in range(SIZE) if filled[tip_y][x]]
    return c, (tip_x[len(tip_x) // 2], tip_y)


def move_sign():
    """The four-way arrow: black with a white rim, centred."""
    centre = SIZE / 2

    def inside(x, y):
        dx, dy = abs(x - centre), abs(y - centre)
        along, across = max(dx, dy), min(dx, dy)
        if along <= 9 and across <= 1.6:
            return True  # shafts
        return 8 <= along <= 14 and across <= 14 - along  # heads

    filled = [[inside(x + 0.5, y + 0.5) for x in range(SIZE)] for y in range(SIZE)]
    c = Canvas(SIZE, SIZE)
    for y in range(SIZE):
        for x in range(SIZE):
            near = any(filled[y + dy][x + dx] for dx in (-1, 0, 1) for dy in (-1, 0, 1)
                       if 0 <= x + dx < SIZE and 0 <= y + dy < SIZE)
            if filled[y][x]:
                c.set(x, y, BLACK)
            elif near:
                c.set(x, y, WHITE)
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..")
    canvas, hotspot = hand()
    with open(os.path.join(folder, "HAND-M.CUR"), "wb") as f:
        f.write(formats.icon(canvas, hotspot))
    with open(os.path.join(folder, "drag.ico"), "wb") as f:
        f.write(formats.icon(move_sign()))
    print("HAND-M.CUR hotspot", hotspot)


if __name__ == "__main__":
    main()
