#!/usr/bin/env python3
"""Writes the application icon IDI_APPICON (.ico) from its text pixel art.

The icon holds two 256-colour images, 48 x 48 and 16 x 16; the larger is the art with every
pixel tripled. Transparent pixels are black in the colour image and set in the AND mask.

Usage: make_icon.py ART OUTPUT_ICO
"""

import struct
import sys

SIZE = 16
COLOURS = {  # character: (red, green, blue)
    'k': (0, 0, 0),
    'w': (240, 240, 240),
    'r': (218, 35, 41),
    'g': (11, 137, 67),
}
PALETTE = [(0, 0, 0)] + list(COLOURS.values())  # index 0 is the transparent background
INDEX = {char: i + 1 for i, char in enumerate(COLOURS)}


def read_art(path):
    with open(path, encoding='ascii') as art:
        rows = [line.rstrip('\n') for line in art if not line.startswith('#')]
    rows = [row for row in rows if row]
    if len(rows) != SIZE or any(len(row) != SIZE for row in rows):
        sys.exit(f'{path}: the art must be {SIZE} rows of {SIZE} characters')
    for row in rows:
        for char in row:
            if char != '.' and char not in COLOURS:
                sys.exit(f'{path}: unknown pixel character {char!r}')
    return rows


def scaled(rows, factor):
    return [''.join(char * factor for char in row) for row in rows for _ in range(factor)]


def row_bytes(bits):
    """Pads one row of an image to a multiple of four bytes."""
    return bits + b'\0' * (-len(bits) % 4)


def image(rows):
    """One icon image: BITMAPINFOHEADER (double height), palette, XOR pixels, AND mask."""
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 8, 0, 0, 0, 0, 256, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    palette += b'\0' * 4 * (256 - len(PALETTE))
    pixels = b''
    mask = b''
    for row in reversed(rows):  # bottom-up
        pixels += row_bytes(bytes(INDEX.get(char, 0) for char in row))
        bits = 0
        for char in row:
            bits = (bits << 1) | (char == '.')
        mask += row_bytes(bits.to_bytes(size // 8, 'big'))
    return header + palette + pixels + mask


def main(art_path, ico_path):
    rows = read_art(art_path)
    images = [image(scaled(rows, 3)), image(rows)]
    sizes = [48, 16]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(ico_path, 'wb') as ico:
        ico.write(out)


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
