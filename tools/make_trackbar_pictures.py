#!/usr/bin/env python3
"""Draws the trackbar's built-in pictures (resources/trackbar/*.png, normal and @2x).

The pictures are opaque 24-bit bitmaps: what the control must not draw is filled with the
picture's colour key (black for the thumb and the segment marks, 0xE7E7E7 for the cut marks).
Edges are smoothed against a dark halo colour close to the panels they sit on, never against the
key, so no key-coloured fringe is left. Run it again after changing a shape:
    tools/make_trackbar_pictures.py
"""
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "trackbar")
SAMPLES = 4  # per pixel and axis
HALO = (0x2A, 0x2E, 0x35)
BLACK = (0, 0, 0)
CUT_KEY = (0xE7, 0xE7, 0xE7)


def write_png(path, width, height, rows):
    raw = b"".join(b"\x00" + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def render(width, height, scale, layers, key):
    """layers: (inside(x, y) -> bool in logical units, colour), drawn in order."""
    w, h = width * scale, height * scale
    rows = []
    for py in range(h):
        row = []
        for px in range(w):
            acc = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / scale
                    y = (py + (sy + 0.5) / SAMPLES) / scale
                    colour = None
                    for inside, c in layers:
                        if inside(x, y):
                            colour = c
                    if colour is not None:
                        covered += 1
                        for i in range(3):
                            acc[i] += colour[i]
            n = SAMPLES * SAMPLES
            if covered == 0:
                row.append(key)
                continue
            pixel = tuple(round((acc[i] + (n - covered) * HALO[i]) / n) for i in range(3))
            if pixel == key:  # never the key inside a shape
                pixel = tuple(min(255, v + 1) for v in pixel)
            row.append(pixel)
        rows.append(row)
    return w, h, rows


def rounded_rect(left, top, right, bottom, radius):
    def inside(x, y):
        if not (left <= x <= right and top <= y <= bottom):
            return False
        cx = min(max(x, left + radius), right - radius)
        cy = min(max(y, top + radius), bottom - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def shrink(points, cx, cy, amount):
    return [(cx + (x - cx) * amount, cy + (y - cy) * amount) for x, y in points]


def thumb(width, height, outline, face):
    # A drop shape pointing down at the track: a rounded body ending in a tip.
    body = [(0.5, 1.5), (1.5, 0.5), (width - 1.5, 0.5), (width - 0.5, 1.5),
            (width - 0.5, height * 0.62), (width / 2, height - 0.5), (0.5, height * 0.62)]
    cx, cy = width / 2, height * 0.45
    return [(polygon(body), outline), (polygon(shrink(body, cx, cy, 0.72)), face)]


def segment_mark(mirror):
    # A flag on a post: the post stands at the mark's inner edge, the flag points into the clip.
    w, h = 11, 19
    post = (8.0, 0.5, 10.5, h - 0.5)
    flag = [(10.5, h - 9.5), (2.0, h - 5.5), (10.5, h - 1.5)]
    colour = (0x3D, 0xD8, 0x2D) if not mirror else (0xF0, 0x8C, 0xB8)
    if mirror:
        post = (w - post[2], post[1], w - post[0], post[3])
        flag = [(w - x, y) for x, y in flag]
    dark = tuple(v // 2 for v in colour)
    return [(rounded_rect(*post, 0.8), colour), (polygon(flag), colour),
            (polygon(shrink(flag, sum(p[0] for p in flag) / 3, sum(p[1] for p in flag) / 3, 0.45)),
             dark)]


def cut_mark(mirror):
    # A small downward wedge above the segment bound.
    w = 11
    wedge = [(3.0, 0.5), (10.5, 0.5), (10.5, 8.5)]
    if mirror:
        wedge = [(w - x, y) for x, y in wedge]
    return [(polygon(wedge), (0xC8, 0x1E, 0x1E))]


def track():
    w, h = 120, 7
    return [(rounded_rect(0, 0, w, h, 2.5), (0x4A, 0x50, 0x5A)),
            (rounded_rect(1, 1, w - 1, h - 1, 1.8), (0x16, 0x19, 0x1E))]


PICTURES = {
    "TickUp": (10, 17, thumb(10, 17, (0x8A, 0x94, 0xA3), (0xE6, 0xEA, 0xF0)), BLACK),
    "TickHot": (10, 17, thumb(10, 17, (0x3C, 0x9A, 0xF0), (0xF4, 0xF8, 0xFF)), BLACK),
    "TickDown": (10, 17, thumb(10, 17, (0x1F, 0x6F, 0xC4), (0x5F, 0xB0, 0xFF)), BLACK),
    "TickDisable": (11, 18, thumb(11, 18, (0x4E, 0x53, 0x5B), (0x70, 0x76, 0x80)), BLACK),
    "Track": (120, 7, track(), BLACK),
    "SegmentStart": (11, 19, segment_mark(False), BLACK),
    "SegmentEnd": (11, 19, segment_mark(True), BLACK),
    "StartCut": (11, 9, cut_mark(False), CUT_KEY),
    "EndCut": (11, 9, cut_mark(True), CUT_KEY),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, (width, height, layers, key) in PICTURES.items():
        for scale, suffix in ((1, ""), (2, "@2x")):
            w, h, rows = render(width, height, scale, layers, key)
            write_png(os.path.join(OUT, f"{name}{suffix}.png"), w, h, rows)


if __name__ == "__main__":
    main()
