#!/usr/bin/env python3
"""Writes src/res/UnPackFile.ico: a package with a downward arrow, 16x16 and 32x32, 32-bit colour.

Run by hand when the picture changes; the build uses the committed file.
"""
import struct
import sys
from pathlib import Path

BOX = (0x2B, 0x6C, 0xB0)      # blue package (RGB)
EDGE = (0x1A, 0x44, 0x70)     # darker outline
ARROW = (0xFF, 0xFF, 0xFF)


def pixel(size, x, y):
    """RGBA of pixel (x, y), y counted from the top."""
    u, v = (x + 0.5) / size, (y + 0.5) / size  # 0..1
    inside_box = 0.08 <= u <= 0.92 and 0.30 <= v <= 0.94
    on_edge = inside_box and (u < 0.08 + 1.2 / size or u > 0.92 - 1.2 / size or
                              v < 0.30 + 1.2 / size or v > 0.94 - 1.2 / size)
    shaft = 0.42 <= u <= 0.58 and 0.04 <= v <= 0.55
    head = 0.50 <= v <= 0.80 and abs(u - 0.5) <= (0.80 - v) * 1.0
    if shaft or head:
        return ARROW + (0xFF,)
    if on_edge:
        return EDGE + (0xFF,)
    if inside_box:
        return BOX + (0xFF,)
    return (0, 0, 0, 0)


def image(size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(size)):  # bottom-up
        row = b''
        for x in range(size):
            r, g, b, a = pixel(size, x, y)
            row += bytes((b, g, r, a))
        rows.append(row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b''
    for y in reversed(range(size)):
        bits = 0
        for x in range(size):
            if pixel(size, x, y)[3] == 0:
                bits |= 1 << (mask_stride * 8 - 1 - x)
        mask += bits.to_bytes(mask_stride, 'big')
    return header + b''.join(rows) + mask


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else \
        Path(__file__).resolve().parent.parent / 'src' / 'res' / 'UnPackFile.ico'
    images = [image(16), image(32)]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip((16, 32), images):
        data += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out.write_bytes(data + b''.join(images))


if __name__ == '__main__':
    main()
