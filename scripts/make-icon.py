#!/usr/bin/env python3
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
"""Draws the launcher's icon, a teal "Q" on a transparent ground, and writes
it as resources/quillora.ico (16, 32 and 48 pixels, 32-bit colour)."""
import math
import struct
import sys


def pixel(x, y, size):
    # Coordinates in units of the icon's size, centre at (0.5, 0.5).
    u, v = (x + 0.5) / size, (y + 0.5) / size
    r = math.hypot(u - 0.47, v - 0.46)
    ring = 0.27 <= r <= 0.40
    tail = abs((u - v) - 0.0) < 0.09 and 0.60 <= u <= 0.88 and 0.60 <= v <= 0.88
    if ring or tail:
        return (0x80, 0x86, 0x0f, 0xff)  # BGRA: teal
    return (0, 0, 0, 0)


def image(size):
    rows = []
    for y in reversed(range(size)):  # BMP rows run bottom-up
        rows.append(b"".join(bytes(pixel(x, y, size)) for x in range(size)))
    mask_row = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + bytes(mask_row * size)


def icon(sizes):
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


if __name__ == "__main__":
    target = sys.argv[1] if len(sys.argv) > 1 else "resources/quillora.ico"
    with open(target, "wb") as f:
        f.write(icon([16, 32, 48]))
