"""A photograph-like landscape: sky gradient, sun, clouds, three ranges of hills, grain.

render() returns (width, height, bytes of RGB rows). The sun stands right of
centre and the hills fall to the right, so a flip or a turn is visible.
"""

import math
import random


def _lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def _sky(t):
    """Sky colour from the top (t = 0) down to the horizon (t = 1)."""
    stops = [(0.0, (38, 78, 150)), (0.55, (110, 160, 215)), (0.85, (235, 200, 170)),
             (1.0, (250, 222, 180))]
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return _lerp(c0, c1, (t - t0) / (t1 - t0))
    return stops[-1][1]


def _ridge(width, height, rng, base, amplitude, slope, waves):
    """Ridge line of one range: y per column, from a few sine waves."""
    terms = [(rng.uniform(0.5, 1.0) / (i + 1), rng.uniform(1.5, 4.0) * (i + 1),
              rng.uniform(0, 2 * math.pi)) for i in range(waves)]
    ridge = []
    for x in range(width):
        u = x / width
        wave = sum(a * math.sin(2 * math.pi * f * u + p) for a, f, p in terms)
        ridge.append(int(height * (base + slope * u) - amplitude * height * wave))
    return ridge


def render(width, height, seed=1):
    rng = random.Random(seed)
    horizon = int(height * 0.62)
    rows = []
    for y in range(height):
        r, g, b = _sky(min(1.0, y / horizon))
        rows.append(bytearray(bytes((int(r), int(g), int(b))) * width))

    def blend(x, y, colour, alpha):
        row = rows[y]
        i = 3 * x
        for k in range(3):
            row[i + k] = int(row[i + k] + (colour[k] - row[i + k]) * alpha)

    # Sun with a wide glow; only the pixels near it are visited.
    sx, sy, radius = int(width * 0.7), int(height * 0.34), int(height * 0.045)
    glow = radius * 7
    for y in range(max(0, sy - glow), min(height, sy + glow)):
        for x in range(max(0, sx - glow), min(width, sx + glow)):
            d = math.hypot(x - sx, y - sy)
            if d < radius + 1:
                blend(x, y, (255, 248, 225), min(1.0, radius + 1 - d))
            elif d < glow:
                blend(x, y, (255, 236, 190), 0.55 * (1 - d / glow) ** 2)

    # Clouds: soft ellipses, a few per cloud.
    for _ in range(5):
        cx, cy = rng.uniform(0.05, 0.95) * width, rng.uniform(0.08, 0.4) * height
        for _ in range(6):
            bx, by = cx + rng.uniform(-1, 1) * width * 0.05, cy + rng.uniform(-1, 1) * height * 0.02
            rx, ry = rng.uniform(0.03, 0.07) * width, rng.uniform(0.015, 0.035) * height
            for y in range(max(0, int(by - ry)), min(height, int(by + ry) + 1)):
                for x in range(max(0, int(bx - rx)), min(width, int(bx + rx) + 1)):
                    t = 1 - ((x - bx) / rx) ** 2 - ((y - by) / ry) ** 2
                    if t > 0:
                        blend(x, y, (250, 248, 245), min(1.0, t * 1.6) * 0.35)

    # Three ranges, far to near: paler and bluer with distance (haze).
    ranges = [
        (_ridge(width, height, rng, 0.55, 0.05, -0.06, 4), (120, 140, 170), (150, 165, 190)),
        (_ridge(width, height, rng, 0.64, 0.04, 0.05, 4), (70, 110, 80), (110, 135, 120)),
        (_ridge(width, height, rng, 0.74, 0.035, 0.10, 5), (50, 90, 40), (95, 120, 55)),
    ]
    shades = []
    for ridge, near, far in ranges:
        top = max(0, min(ridge))
        shade = {}
        for y in range(top, height):
            t = min(1.0, (y - top) / (height * 0.35))
            shade[y] = bytes(int(v) for v in _lerp(far, near, t))
        shades.append((ridge, shade))
    for x in range(width):
        bottom = height
        for ridge, shade in reversed(shades):
            top = max(0, ridge[x])
            for y in range(top, bottom):
                rows[y][3 * x:3 * x + 3] = shade[y]
            bottom = min(bottom, top)

    # Fields on the nearest range: faint diagonal bands.
    near_ridge = ranges[2][0]
    for x in range(width):
        for y in range(max(0, near_ridge[x]), height):
            if ((x + 2 * y) // 170) % 3 == 0:
                row = rows[y]
                row[3 * x + 1] = min(255, row[3 * x + 1] + 14)

    # Grain: the same offset on the three channels, like luminance noise of a sensor.
    for y in range(height):
        row = rows[y]
        noise = rng.randbytes(width)
        for x in range(width):
            n = (noise[x] % 13) - 6
            i = 3 * x
            for k in range(i, i + 3):
                v = row[k] + n
                row[k] = 0 if v < 0 else 255 if v > 255 else v
    return width, height, b"".join(rows)
