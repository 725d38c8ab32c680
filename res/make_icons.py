#!/usr/bin/env python3
"""Draws the console's icons: a radio link, two dishes on masts with a
zig-zag beam between them. Writes 16-colour indexed PNGs (index 0 is
transparent) into res/icons/ for the Qt window and the hicolor theme (the
main icon at 16, 32, 48, 64, 128 and 256 pixels), and from the same
drawings the Windows icon files that the Windows programs' resources carry
(the main icon at the same sizes, the tray icons at 16, 32 and 48). Run once after changing the drawing:

    python3 res/make_icons.py

Only the standard library is used. Shapes are sampled 8 x 8 times per
pixel and each pixel takes the colour that covers most of it, so the
result stays crisp pixel art in the 16 colours of the palette; large icons
take fewer samples, each pixel being small against the shapes already.
"""

import math
import os
import struct
import zlib

# The classic 16-colour palette, with index 0 standing for "transparent".
PALETTE = [
    (0, 0, 0),  # 0 transparent
    (0, 0, 0),  # 1 black
    (128, 0, 0),  # 2 maroon
    (0, 128, 0),  # 3 green
    (128, 128, 0),  # 4 olive
    (0, 0, 128),  # 5 navy
    (0, 128, 128),  # 6 teal
    (192, 192, 192),  # 7 silver
    (128, 128, 128),  # 8 grey
    (255, 0, 0),  # 9 red
    (0, 255, 0),  # 10 lime
    (255, 255, 0),  # 11 yellow
    (0, 0, 255),  # 12 blue
    (0, 255, 255),  # 13 aqua
    (255, 255, 255),  # 14 white
    (0, 0, 128),  # 15 navy (spare)
]
CLEAR, BLACK, MAROON, GREEN, OLIVE, NAVY, TEAL, SILVER, GREY, RED, LIME, YELLOW, BLUE, AQUA, \
    WHITE = range(15)

SAMPLES = 8
# Samples per pixel side stop shrinking here, however large the icon.
MIN_SAMPLES = 2


def segment(ax, ay, bx, by, width):
    """Inside test for a stroke of the given width from (ax, ay) to (bx, by)."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy or 1e-9
    half = width / 2.0

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        px, py = ax + t * dx - x, ay + t * dy - y
        return px * px + py * py <= half * half

    return inside


def polyline(points, width):
    parts = [segment(*points[i], *points[i + 1], width) for i in range(len(points) - 1)]
    return lambda x, y: any(p(x, y) for p in parts)


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def dish(cx, cy, radius, depth, facing):
    """A dish seen from the side: a crescent whose hollow faces `facing`
    (+1 right, -1 left), centred on (cx, cy)."""
    outer = disc(cx, cy, radius)
    inner = disc(cx + facing * depth, cy, radius)
    return lambda x, y: outer(x, y) and not inner(x, y)


def render(size, shapes):
    """shapes: (colour, inside) pairs painted in order onto a clear canvas."""
    scale = size / 32.0
    samples = max(MIN_SAMPLES, SAMPLES * 64 // max(size, 64))
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            counts = {}
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / scale
                    y = (py + (sy + 0.5) / samples) / scale
                    colour = CLEAR
                    for c, inside in shapes:
                        if inside(x, y):
                            colour = c
                    counts[colour] = counts.get(colour, 0) + 1
            row.append(max(counts, key=lambda c: (counts[c], c)))
        pixels.append(row)
    return pixels


def mast(x, top, bottom, half_base, leg, steps):
    """A lattice mast standing on the ground, apex at (x, top), with
    `steps` cross braces between its legs."""
    shapes = [
        (GREY, segment(x - half_base, bottom, x, top, leg)),
        (GREY, segment(x + half_base, bottom, x, top, leg)),
    ]
    for i in range(steps):
        t0, t1 = i / steps, (i + 1) / steps
        y0, y1 = bottom - t0 * (bottom - top), bottom - t1 * (bottom - top)
        w0, w1 = half_base * (1 - t0), half_base * (1 - t1)
        shapes.append((GREY, segment(x - w0, y0, x + w1, y1, leg * 0.8)))
    return shapes


def main_icon(size):
    """Icon 128: two masts with dishes facing each other and the beam."""
    small = size <= 16
    leg = 2.2 if small else 1.3
    if small:
        beam = [(10, 9), (15, 3), (17, 15), (22, 9)]
    else:
        beam = [(11, 10), (14.5, 5), (17.5, 15), (21, 10)]
    shapes = [(GREEN, rect(0, 29, 32, 32))]
    shapes += mast(6.5, 12, 29, 4.5 if small else 3.5, leg, 2 if small else 3)
    shapes += mast(25.5, 12, 29, 4.5 if small else 3.5, leg, 2 if small else 3)
    radius, depth = (6.5, 3.4) if small else (5, 2.2)
    shapes += [
        (BLACK, dish(6.5, 9.5, radius, depth, +1)),
        (SILVER, dish(7.3, 9.5, radius - 1.2, depth, +1)),
        (BLACK, dish(25.5, 9.5, radius, depth, -1)),
        (SILVER, dish(24.7, 9.5, radius - 1.2, depth, -1)),
    ]
    if not small:
        shapes += [
            (BLACK, segment(6.5, 9.5, 10, 9.5, 1.2)),
            (BLACK, segment(25.5, 9.5, 22, 9.5, 1.2)),
        ]
    shapes += [
        (RED, polyline(beam, 4.6 if small else 3.0)),
        (YELLOW, polyline(beam, 2.2 if small else 1.3)),
    ]
    return render(size, shapes)


def tray_icon(size):
    """Icon 129: the beam between two dish marks on a dark round plate,
    which reads on light and dark panels alike."""
    beam = [(11, 16), (15, 8), (17, 24), (21, 16)]
    shapes = [
        (NAVY, disc(16, 16, 15.9)),
        (WHITE, dish(8, 16, 7, 3.6, +1)),
        (WHITE, dish(24, 16, 7, 3.6, -1)),
        (YELLOW, polyline(beam, 3.4)),
    ]
    return render(size, shapes)


def tray_alarm_icon(size):
    """Icon 129 raising an alarm: the same plate in red, the dishes kept,
    and an exclamation mark where the beam was."""
    shapes = [
        (MAROON, disc(16, 16, 15.9)),
        (RED, disc(16, 16, 13.5)),
        (WHITE, dish(8, 16, 7, 3.6, +1)),
        (WHITE, dish(24, 16, 7, 3.6, -1)),
        (YELLOW, segment(16, 7, 16, 18, 4.2)),
        (YELLOW, disc(16, 24.5, 2.4)),
    ]
    return render(size, shapes)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_bytes(pixels):
    height, width = len(pixels), len(pixels[0])
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # no filter
        for i in range(0, width, 2):
            hi = row[i]
            lo = row[i + 1] if i + 1 < width else 0
            raw.append((hi << 4) | lo)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 4, 3, 0, 0, 0))
    png += chunk(b"PLTE", b"".join(struct.pack("BBB", *c) for c in PALETTE))
    png += chunk(b"tRNS", b"\x00")  # index 0 transparent, the rest opaque
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    return png


def ico_bytes(images):
    """A Windows icon file of 4-bit images (one per size), each a bitmap
    in the file's own layout: the header with the height doubled, the 16
    colours, the pixel rows bottom up, then the 1-bit mask in which the
    transparent index 0 is set (drawn black under it)."""
    entries, bodies = b"", b""
    offset = 6 + 16 * len(images)
    for pixels in images:
        size = len(pixels)
        colour_row = (size // 2 + 3) // 4 * 4
        mask_row = ((size + 7) // 8 + 3) // 4 * 4
        colours, mask = b"", b""
        for row in reversed(pixels):
            packed = bytearray(colour_row)
            bits = bytearray(mask_row)
            for x, index in enumerate(row):
                packed[x // 2] |= index << (0 if x % 2 else 4)
                if index == CLEAR:
                    bits[x // 8] |= 0x80 >> (x % 8)
            colours += packed
            mask += bits
        body = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, len(colours + mask), 0, 0,
                           16, 0)
        body += b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
        body += colours + mask
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4, len(body), offset)
        offset += len(body)
        bodies += body
    return struct.pack("<HHH", 0, 1, len(images)) + entries + bodies


ICO_SIZES = (16, 32, 48)
# The main icon's sizes, as PNGs for the hicolor theme and in tarvik.ico.
MAIN_SIZES = (16, 32, 48, 64, 128, 256)


def files():
    """Each file the drawings make: its name under res/icons/ and bytes."""
    main = {n: main_icon(n) for n in MAIN_SIZES}
    return [("tarvik-%d.png" % n, png_bytes(main[n])) for n in MAIN_SIZES] + [
        ("tray-16.png", png_bytes(tray_icon(16))),
        ("tray-alarm-16.png", png_bytes(tray_alarm_icon(16))),
        ("tarvik.ico", ico_bytes([main[n] for n in MAIN_SIZES])),
        ("tray.ico", ico_bytes([tray_icon(n) for n in ICO_SIZES])),
        ("tray-alarm.ico", ico_bytes([tray_alarm_icon(n) for n in ICO_SIZES])),
    ]


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(out, exist_ok=True)
    for name, data in files():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
