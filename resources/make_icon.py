#!/usr/bin/env python3
# Draws the updater's icon (a down arrow landing in a tray, on a blue disc) and writes it as
# updater.ico with 32x32 and 16x16 images of 16 colours. Run: python3 make_icon.py [OUT]
import struct
import sys

# The standard 16-colour palette (RGB); the picture uses a few of its entries by name.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, BLUE, YELLOW, WHITE = 0, 4, 12, 11, 15
CLEAR = None  # transparent


def pixel(x, y):
    """Colour at the point (x, y) of a unit square, y growing downwards; None outside."""
    dx, dy = x - 0.5, y - 0.5
    r = (dx * dx + dy * dy) ** 0.5
    if r > 0.48:
        return CLEAR
    # Tray: a U shape near the bottom of the disc.
    if 0.66 <= y <= 0.74 and 0.24 <= x <= 0.76:
        return WHITE
    if 0.56 <= y <= 0.74 and (0.24 <= x <= 0.31 or 0.69 <= x <= 0.76):
        return WHITE
    # Arrow: a shaft and a head pointing down into the tray.
    if 0.16 <= y <= 0.44 and 0.43 <= x <= 0.57:
        return YELLOW
    if 0.40 <= y <= 0.62 and abs(dx) <= (0.62 - y) * 0.95:
        return YELLOW
    return NAVY if r > 0.42 else BLUE


def render(size):
    """Rows top to bottom of palette indices (None for transparent), sampled at pixel centres."""
    return [[pixel((i + 0.5) / size, (j + 0.5) / size) for i in range(size)]
            for j in range(size)]


def dib(rows):
    """One icon image: a 4-bit BITMAPINFOHEADER image with its palette, XOR and AND masks."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, c in enumerate(row):
            index = BLACK if c is None else c
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits
    return header + palette + bytes(xor) + bytes(mask)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "updater.ico"
    images = [dib(render(s)) for s in (32, 16)]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip((32, 16), images):
        data += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
