#!/usr/bin/env python3
"""Draws the program's icon, a magnifier over a sheet of text, and writes resources/quillfen.ico.

Six images: 16, 32 and 48 pixels square, each in 16 colours (4 bits) and in 256 colours (8 bits).
Run it again after changing the drawing; the .ico is committed beside it.
"""
import math
import os
import struct

# The sixteen standard colours, in the order of the Windows 16-colour palette.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# What is drawn, with its colour in each palette: (16-colour index, 256-colour RGB).
INK = {
    'sheet': (15, (255, 255, 255)),
    'edge': (8, (96, 104, 120)),
    'text': (4, (40, 64, 140)),
    'lens': (7, (200, 228, 250)),
    'rim': (0, (30, 30, 36)),
    'handle': (3, (140, 90, 40)),
}

# The 256-colour palette: the sixteen standard colours, the icon's own, then a grey ramp.
PALETTE_256 = VGA + [rgb for _, rgb in INK.values()]
PALETTE_256 += [(g, g, g) for g in range(0, 256, 256 // (256 - len(PALETTE_256)) + 1)]
PALETTE_256 = (PALETTE_256 + [(0, 0, 0)] * 256)[:256]


def draw(size):
    """Returns rows of ink names (None: transparent), top row first."""
    s = size / 48.0
    pixels = [[None] * size for _ in range(size)]
    left, right, top, bottom = round(4 * s), round(33 * s), round(2 * s), round(42 * s)
    for y in range(top, bottom):
        for x in range(left, right):
            border = x in (left, right - 1) or y in (top, bottom - 1)
            pixels[y][x] = 'edge' if border else 'sheet'
    step = max(2, round(5 * s))
    for y in range(top + step, bottom - 2, step):
        for x in range(left + max(2, round(4 * s)), right - max(2, round(4 * s))):
            pixels[y][x] = 'text'

    cx, cy, radius = 27 * s, 25 * s, 12 * s
    rim = max(1.0, 2.6 * s)
    for y in range(size):
        for x in range(size):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if d <= radius - rim:
                pixels[y][x] = 'lens' if pixels[y][x] != 'text' else 'text'
            elif d <= radius:
                pixels[y][x] = 'rim'
    # The handle runs from the rim down to the bottom right corner.
    start = (cx + radius * 0.70, cy + radius * 0.70)
    end = (size - 2 * s, size - 2 * s)
    width = max(1.0, 3.2 * s)
    for y in range(size):
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            vx, vy = end[0] - start[0], end[1] - start[1]
            t = max(0.0, min(1.0, ((px - start[0]) * vx + (py - start[1]) * vy) / (vx * vx + vy * vy)))
            if math.hypot(px - start[0] - t * vx, py - start[1] - t * vy) <= width:
                pixels[y][x] = 'handle'
    return pixels


def nearest(palette, rgb):
    return min(range(len(palette)), key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], rgb)))


def image(size, bits):
    pixels = draw(size)
    palette = VGA if bits == 4 else PALETTE_256
    index = {name: (ink[0] if bits == 4 else nearest(palette, ink[1])) for name, ink in INK.items()}
    xor_stride = ((size * bits + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for row in reversed(pixels):  # bitmaps are stored bottom row first
        line = bytearray(xor_stride)
        bits_line = bytearray(and_stride)
        for x, name in enumerate(row):
            value = index[name] if name else 0
            if bits == 4:
                line[x // 2] |= value << (4 if x % 2 == 0 else 0)
            else:
                line[x] = value
            if name is None:
                bits_line[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits_line
    colours = 16 if bits == 4 else 256
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, len(xor) + len(mask), 0, 0, colours, 0)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette[:colours])
    return header + table + bytes(xor) + bytes(mask)


def main():
    images = [(size, bits, image(size, bits)) for size in (16, 32, 48) for bits in (4, 8)]
    offset = 6 + 16 * len(images)
    directory = struct.pack('<HHH', 0, 1, len(images))
    data = b''
    for size, bits, body in images:
        directory += struct.pack('<BBBBHHII', size, size, 16 if bits == 4 else 0, 0, 1, bits, len(body), offset)
        offset += len(body)
        data += body
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'quillfen.ico')
    with open(path, 'wb') as out:
        out.write(directory + data)


if __name__ == '__main__':
    main()
