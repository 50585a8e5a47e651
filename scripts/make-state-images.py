#!/usr/bin/env python3
"""Writes the four 16 x 16 state images of the session, user and database grids (a grey, red,
yellow and green ball on white) as 24-bit BMP files into ui/resources/images/.

Run from the repository root: python3 scripts/make-state-images.py
The pictures are committed; run this only to change them.
"""
import math
import os
import struct

SIZE = 16
BALLS = {  # name: (base colour, highlight colour), RGB
    "StateGrey": ((128, 128, 128), (230, 230, 230)),
    "StateRed": ((200, 0, 0), (255, 170, 170)),
    "StateYellow": ((220, 190, 0), (255, 250, 190)),
    "StateGreen": ((0, 160, 0), (170, 255, 170)),
}


def pixel(x, y, base, light):
    """White outside the ball; inside, a shade lit from the upper left, darker at the rim."""
    cx = cy = (SIZE - 1) / 2.0
    radius = 6.5
    d = math.hypot(x - cx, y - cy)
    if d > radius:
        return (255, 255, 255)
    # Distance from the highlight spot, 0 at the spot, 1 at the far rim.
    hx, hy = cx - 2.5, cy - 2.5
    t = min(1.0, math.hypot(x - hx, y - hy) / (radius + 2.5))
    rim = max(0.0, (d - (radius - 1.2)) / 1.2)  # a dark outline on the last pixel
    out = []
    for b, l in zip(base, light):
        v = l + (b - l) * t
        v = v * (1.0 - 0.45 * rim)
        out.append(max(0, min(254, int(round(v)))))  # never pure white inside the ball
    return tuple(out)


def write_bmp(path, pixels):
    row_bytes = SIZE * 3
    pad = (4 - row_bytes % 4) % 4
    data = bytearray()
    for y in range(SIZE - 1, -1, -1):  # bottom-up rows
        for x in range(SIZE):
            r, g, b = pixels[y][x]
            data += bytes((b, g, r))
        data += b"\0" * pad
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    folder = os.path.join(root, "ui", "resources", "images")
    for name, (base, light) in BALLS.items():
        pixels = [[pixel(x, y, base, light) for x in range(SIZE)] for y in range(SIZE)]
        write_bmp(os.path.join(folder, name + ".bmp"), pixels)


if __name__ == "__main__":
    main()
