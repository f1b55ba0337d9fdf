#!/usr/bin/env python3
"""Draws the application icon: a letter F and its mirror image across a dashed axis,
under a curved arrow, on a rounded blue tile. Written as PNG at 256 and 48 pixels.

    python3 resources/tools/make_icon.py [OUTPUT_FOLDER]
"""

import math
import os
import sys

import formats
from raster import Canvas, polygon_inside

DESIGN = 256.0  # shapes below are in a 256 x 256 design space


def _rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return x0 <= x <= x1 and y0 <= y <= y1 and (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    return inside


def _letter_f(mirrored):
    bars = [(46, 96, 72, 214), (46, 96, 114, 120), (46, 146, 102, 168)]
    if mirrored:
        bars = [(DESIGN - x1, y0, DESIGN - x0, y1) for x0, y0, x1, y1 in bars]
    return lambda x, y: any(x0 <= x < x1 and y0 <= y < y1 for x0, y0, x1, y1 in bars)


def _arc(cx, cy, radius, width, start, end):
    """A band along a circle between two angles in degrees (0 = right, counter-clockwise)."""

    def inside(x, y):
        angle = math.degrees(math.atan2(cy - y, x - cx)) % 360
        return abs(math.hypot(x - cx, y - cy) - radius) <= width / 2 and start <= angle <= end

    return inside


def render(size):
    scale = size / DESIGN
    c = Canvas(size, size)

    def scaled(inside):
        return lambda x, y: inside(x / scale, y / scale)

    tile = scaled(_rounded(12, 12, 244, 244, 44))
    top, bottom = (70, 150, 225), (25, 60, 140)
    for y in range(size):
        t = y / max(1, size - 1)
        colour = tuple(round(top[i] + (bottom[i] - top[i]) * t) for i in range(3)) + (255,)
        c.cover(tile, colour, (0, y, size, y + 1))

    white = (255, 255, 255, 255)
    c.cover(scaled(_letter_f(False)), white)
    c.cover(scaled(_letter_f(True)), (255, 255, 255, 110))
    # The mirror axis, dashed.
    axis = lambda x, y: 125 <= x <= 131 and 84 <= y <= 226 and int(y - 84) % 20 < 12
    c.cover(scaled(axis), (255, 220, 120, 255))
    # A curved arrow from the letter to its mirror image.
    c.cover(scaled(_arc(128, 142, 88, 12, 48, 140)), (255, 220, 120, 255))
    tip = math.radians(48)
    ex, ey = 128 + 88 * math.cos(tip), 142 - 88 * math.sin(tip)
    head = [(ex - 18, ey - 8), (ex + 16, ey - 10), (ex + 4, ey + 22)]
    c.cover(scaled(polygon_inside(head)), (255, 220, 120, 255))
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "icons")
    os.makedirs(folder, exist_ok=True)
    for size in (256, 48):
        with open(os.path.join(folder, "zentavo-%d.png" % size), "wb") as f:
            f.write(formats.png(render(size)))


if __name__ == "__main__":
    main()
