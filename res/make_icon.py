#!/usr/bin/env python3
"""Writes res/TarvoSamples.ico, the program's icon group 9000.

The picture is drawn here from geometry: a rounded blue tile (a sample bank) with a
yellow wave across it (a sample) and a row of slot marks under the wave. The file holds
three 16 x 16 images of the same picture, at 8, 24 and 32 bits per pixel; the 32-bit
image carries an alpha channel, the others rely on the AND mask for the transparent
corners. Run it from anywhere: python3 res/make_icon.py
"""
import math
import os
import struct

SIZE = 16
TRANSPARENT = None

OUTLINE = (0x14, 0x1E, 0x44)
TOP = (0x4E, 0x86, 0xE0)
BOTTOM = (0x1F, 0x47, 0x9E)
WAVE = (0xFF, 0xD2, 0x3C)
WAVE_EDGE = (0xC8, 0x8C, 0x14)
SLOT = (0xF4, 0xF4, 0xF4)


def inside_tile(x, y):
    """Tile covers 1..14 on both axes with corners rounded by a radius of 3 pixels."""
    lo, hi, r = 1, 14, 3
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + r), hi - r)
    cy = min(max(y, lo + r), hi - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r + 1


def picture():
    px = [[TRANSPARENT] * SIZE for _ in range(SIZE)]
    for y in range(SIZE):
        for x in range(SIZE):
            if not inside_tile(x, y):
                continue
            edge = any(not inside_tile(x + dx, y + dy)
                       for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            if edge:
                px[y][x] = OUTLINE
            else:
                t = (y - 2) / 11.0
                px[y][x] = tuple(round(a + (b - a) * t) for a, b in zip(TOP, BOTTOM))

    # One period of a sine over columns 3..12, centred on row 7, joined column to
    # column so that the line has no gaps on its steep parts.
    prev = None
    for x in range(3, 13):
        y = round(7 - 3.4 * math.sin((x - 3) / 9.0 * 2 * math.pi))
        ys = [y] if prev is None else range(min(prev, y), max(prev, y) + 1)
        for yy in ys:
            px[yy][x] = WAVE
        prev = y
    # A darker rim under the wave keeps it readable on the light top of the tile.
    for x in range(3, 13):
        col = [y for y in range(SIZE) if px[y][x] == WAVE]
        below = max(col) + 1
        if px[below][x] not in (OUTLINE, WAVE, TRANSPARENT):
            px[below][x] = WAVE_EDGE

    # Slot marks: four short bars, like entries of the slot list.
    for x in (3, 4, 6, 7, 9, 10, 12):
        px[12][x] = SLOT
    return px


def and_mask(px):
    """1 bit per pixel, set where transparent; rows bottom-up, padded to 4 bytes."""
    data = b""
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            if px[y][x] is TRANSPARENT:
                bits |= 0x8000 >> x
        data += struct.pack(">H", bits) + b"\0\0"
    return data


def header(bpp, palette_entries, pixel_bytes):
    # Height counts the colour image and the mask together, as icons require.
    return struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bpp, 0,
                       pixel_bytes, 0, 0, palette_entries, 0)


def image8(px):
    colours = sorted({c for row in px for c in row if c is not TRANSPARENT})
    colours.insert(0, (0, 0, 0))  # index 0 fills the transparent pixels
    index = {c: i for i, c in enumerate(colours)}
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in colours)
    palette += b"\0\0\0\0" * (256 - len(colours))
    rows = b"".join(bytes(0 if c is TRANSPARENT else index[c] for c in px[y])
                    for y in reversed(range(SIZE)))
    return header(8, 256, len(rows)) + palette + rows + and_mask(px)


def image24(px):
    rows = b""
    for y in reversed(range(SIZE)):
        for c in px[y]:
            r, g, b = (0, 0, 0) if c is TRANSPARENT else c
            rows += struct.pack("BBB", b, g, r)
    return header(24, 0, len(rows)) + rows + and_mask(px)


def image32(px):
    rows = b""
    for y in reversed(range(SIZE)):
        for c in px[y]:
            if c is TRANSPARENT:
                rows += b"\0\0\0\0"
            else:
                r, g, b = c
                rows += struct.pack("BBBB", b, g, r, 255)
    return header(32, 0, len(rows)) + rows + and_mask(px)


def icon_file(px):
    images = [(8, image8(px)), (24, image24(px)), (32, image32(px))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for bpp, data in images:
        out += struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, bpp, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "TarvoSamples.ico")
    with open(path, "wb") as f:
        f.write(icon_file(picture()))


if __name__ == "__main__":
    main()
