#!/usr/bin/env python3
"""Draws the sample pictures of resources/Samples/.

One small picture per format the program writes (BMP, JPEG, GIF, PNG, TIFF), each
with a big letter "F", an arrow pointing right and a "TOP LEFT" label, so that a
flip or a turn shows at a glance; plus a photograph-like landscape of six
megapixels. JPEGs go through cjpeg (Debian: libjpeg-turbo-progs) from a PPM.

    python3 resources/tools/make_samples.py [OUTPUT_FOLDER]
"""

import os
import subprocess
import sys
import tempfile

import formats
import landscape
from raster import Canvas, polygon_inside

INK = (24, 32, 72, 255)
ARROW = (214, 64, 32, 255)
CORNER = (200, 24, 40, 255)
WHITE = (255, 255, 255, 255)


def draw_sample(width, height, background, label, smooth=True):
    """The asymmetric test card, about 360 x 240 pixels."""
    c = Canvas(width, height, background)
    samples = 4 if smooth else 1
    # A red wedge marks the top-left corner; the label sits beside it.
    c.cover(polygon_inside([(0, 0), (44, 0), (0, 44)]), CORNER, (0, 0, 44, 44), samples)
    c.text(50, 8, "TOP LEFT", 3, CORNER)
    # The letter F: no axis of symmetry, so every flip and turn looks different.
    c.rect(28, 52, 58, 212, INK)
    c.rect(28, 52, 132, 80, INK)
    c.rect(28, 118, 112, 144, INK)
    # An arrow pointing right.
    shaft_top, shaft_bottom = 122, 142
    c.rect(160, shaft_top, 296, shaft_bottom, ARROW)
    head = [(294, 96), (344, 132), (294, 168)]
    c.cover(polygon_inside(head), ARROW, (290, 90, 350, 172), samples)
    c.text(180, 96, "RIGHT", 3, ARROW)
    c.text(width - Canvas.text_width(label, 2) - 10, height - 24, label, 2, INK)
    return c


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def write_jpeg(folder, name, ppm_bytes, quality):
    """Encodes a PPM with cjpeg (baseline, 4:2:0, optimised Huffman tables)."""
    with tempfile.NamedTemporaryFile(suffix=".ppm") as source:
        source.write(ppm_bytes)
        source.flush()
        with open(os.path.join(folder, name), "wb") as out:
            subprocess.run(["cjpeg", "-quality", str(quality), "-optimize", source.name],
                           stdout=out, check=True)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "Samples")
    os.makedirs(folder, exist_ok=True)

    # An odd width leaves padding at the end of every BMP row.
    write(folder, "sample-bmp.bmp",
          formats.bmp(draw_sample(363, 242, (250, 240, 190, 255), "BMP 363X242")))

    card = draw_sample(360, 240, (200, 225, 250, 255), "JPEG 360X240")
    write_jpeg(folder, "sample-jpeg.jpg", formats.ppm(card), 90)

    # GIF: flat colours only, so every pixel is in the palette.
    green = (200, 240, 200)
    card = draw_sample(360, 240, green + (255,), "GIF 360X240", smooth=False)
    palette = [green, INK[:3], ARROW[:3], CORNER[:3]]
    write(folder, "sample-gif.gif", formats.gif(card, palette))

    # PNG: a rounded card on a transparent ground, with a half-transparent band.
    card = draw_sample(360, 240, (235, 225, 250, 255), "PNG 360X240")
    rounded = Canvas(360, 240)
    radius = 28

    def in_rounded(x, y):
        cx = min(max(x, radius), 360 - radius)
        cy = min(max(y, radius), 240 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius

    for y in range(240):
        for x in range(360):
            p = card.get(x, y)
            if not in_rounded(x + 0.5, y + 0.5):
                rounded.set(x, y, (p[0], p[1], p[2], 0))
            elif 180 <= y < 200:
                rounded.set(x, y, (p[0], p[1], p[2], 96 + x * 159 // 359))
            else:
                rounded.set(x, y, p)
    write(folder, "sample-png.png", formats.png(rounded))

    write(folder, "sample-tiff.tif",
          formats.tiff(draw_sample(360, 240, (250, 215, 190, 255), "TIFF 360X240")))

    width, height, rows = landscape.render(3000, 2000, seed=7)
    write_jpeg(folder, "landscape-6mp.jpg", formats.ppm(rows, width, height), 85)


if __name__ == "__main__":
    main()
