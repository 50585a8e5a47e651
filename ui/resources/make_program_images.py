#!/usr/bin/env python3
"""Draws the program's own pictures into ui/resources/images/: the logon dialog's banner
(LogonBanner.bmp, 325 x 65, 24-bit) and the toolbar's four button images (Tool*.png, 16 x 16 with
transparency). Standard library only; run it again after changing a drawing and commit the files.
"""

import os
import struct
import zlib

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "images")


class Canvas:
    def __init__(self, width, height, fill=(0, 0, 0, 0)):
        self.w, self.h = width, height
        self.px = [[fill for _ in range(width)] for _ in range(height)]

    def set(self, x, y, rgba):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = rgba

    def rect(self, x0, y0, x1, y1, rgba):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, rgba)

    def line(self, x0, y0, x1, y1, rgba, thick=1):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            for ox in range(thick):
                for oy in range(thick):
                    self.set(x0 + ox, y0 + oy, rgba)
            if x0 == x1 and y0 == y1:
                break
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def write_bmp(self, path):
        row = (self.w * 3 + 3) // 4 * 4
        data = bytearray()
        for y in range(self.h - 1, -1, -1):
            line = bytearray()
            for x in range(self.w):
                r, g, b, _ = self.px[y][x]
                line += bytes((b, g, r))
            line += b"\0" * (row - len(line))
            data += line
        header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        with open(path, "wb") as f:
            f.write(header + info + data)

    def write_png(self, path):
        raw = bytearray()
        for y in range(self.h):
            raw.append(0)
            for x in range(self.w):
                raw += bytes(self.px[y][x])

        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body +
                    struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

        png = b"\x89PNG\r\n\x1a\n"
        png += chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        png += chunk(b"IEND", b"")
        with open(path, "wb") as f:
            f.write(png)


# A 5 x 7 face for the letters of the word mark.
GLYPHS = {
    "K": ["X...X", "X..X.", "X.X..", "XX...", "X.X..", "X..X.", "X...X"],
    "i": ["..X..", ".....", ".XX..", "..X..", "..X..", "..X..", ".XXX."],
    "v": [".....", ".....", "X...X", "X...X", "X...X", ".X.X.", "..X.."],
    "r": [".....", ".....", "X.XX.", "XX..X", "X....", "X....", "X...."],
    "a": [".....", ".....", ".XXX.", "....X", ".XXXX", "X...X", ".XXXX"],
    "w": [".....", ".....", "X...X", "X...X", "X.X.X", "X.X.X", ".X.X."],
    "t": [".X...", ".X...", "XXXX.", ".X...", ".X...", ".X..X", "..XX."],
    "c": [".....", ".....", ".XXX.", "X....", "X....", "X...X", ".XXX."],
    "h": ["X....", "X....", "X.XX.", "XX..X", "X...X", "X...X", "X...X"],
}


def text(canvas, x, y, word, scale, rgba):
    for ch in word:
        for gy, row in enumerate(GLYPHS[ch]):
            for gx, cell in enumerate(row):
                if cell == "X":
                    canvas.rect(x + gx * scale, y + gy * scale,
                                x + gx * scale + scale - 1, y + gy * scale + scale - 1, rgba)
        x += 6 * scale


def banner():
    c = Canvas(325, 65)
    # Slate blue, darker to the right, as the title bars of the views.
    for x in range(c.w):
        t = x / (c.w - 1)
        col = (int(96 - 50 * t), int(112 - 55 * t), int(136 - 50 * t), 255)
        for y in range(c.h):
            shade = 1.0 - 0.25 * (y / (c.h - 1))
            c.set(x, y, (int(col[0] * shade), int(col[1] * shade), int(col[2] * shade), 255))
    # A faint grid and a response line, as on the graph tiles.
    grid = (120, 136, 160, 255)
    for gx in range(205, 321, 12):
        c.line(gx, 8, gx, 56, grid)
    for gy in range(8, 57, 12):
        c.line(205, gy, 320, gy, grid)
    points = [(205, 44), (217, 40), (229, 46), (241, 30), (253, 34), (265, 20), (277, 26),
              (289, 16), (301, 28), (313, 22), (320, 24)]
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        c.line(x0, y0, x1, y1, (80, 230, 120, 255), thick=2)
    text(c, 15, 19, "Kivrawatch", 3, (255, 255, 255, 255))
    c.line(15, 47, 190, 47, (200, 210, 225, 255))
    c.write_bmp(os.path.join(HERE, "LogonBanner.bmp"))


def connect_icon():
    c = Canvas(16, 16)
    # A server box with a green arrow into it.
    c.rect(8, 2, 14, 13, (90, 100, 120, 255))
    c.rect(9, 3, 13, 12, (170, 180, 200, 255))
    for y in (5, 8, 11):
        c.line(10, y, 12, y, (60, 70, 90, 255))
    c.line(1, 7, 6, 7, (20, 150, 40, 255), thick=2)
    c.line(4, 4, 7, 7, (20, 150, 40, 255), thick=2)
    c.line(4, 10, 7, 7, (20, 150, 40, 255), thick=2)
    c.write_png(os.path.join(HERE, "ToolConnect.png"))


def cross(c, x, y, size, rgba):
    c.line(x, y, x + size, y + size, rgba, thick=2)
    c.line(x + size, y, x, y + size, rgba, thick=2)


def kill_proc_icon():
    c = Canvas(16, 16)
    cross(c, 2, 2, 11, (200, 30, 30, 255))
    c.write_png(os.path.join(HERE, "ToolKillProc.png"))


def kill_group_icon():
    c = Canvas(16, 16)
    cross(c, 0, 0, 8, (150, 30, 30, 255))
    cross(c, 6, 6, 8, (220, 40, 40, 255))
    c.write_png(os.path.join(HERE, "ToolKillGroup.png"))


def properties_icon():
    c = Canvas(16, 16)
    # A sheet with settings lines and a tick box.
    c.rect(2, 1, 13, 14, (90, 100, 120, 255))
    c.rect(3, 2, 12, 13, (250, 250, 250, 255))
    for y in (4, 7, 10):
        c.rect(4, y, 6, y + 1, (40, 90, 180, 255))
        c.line(8, y, 11, y, (120, 120, 120, 255))
    c.write_png(os.path.join(HERE, "ToolProperties.png"))


if __name__ == "__main__":
    banner()
    connect_icon()
    kill_proc_icon()
    kill_group_icon()
    properties_icon()
