#!/usr/bin/env python3
"""Writes a segment bitmap (IDB_TEMPICON and its smaller drawings) as a .bmp file from its text
pixel map.

The result is a square 8 bits-per-pixel, uncompressed, bottom-up bitmap, as wide as the map has
rows, with a full 256-entry colour table that is the same at every size. Only entries 0 to 16 are used by pixels; the program rewrites entries 0 to 15 at
run time. Entry 6 must stay the first pure white of the table: the first icon mask is derived
from it. The rest of the table is a fixed palette that no pixel uses.

Usage: make_bitmap.py PIXEL_MAP OUTPUT_BMP
"""

import struct
import sys

BACKGROUND_INDEX = 16

# (red, green, blue) of the entries that pixels use.
SEGMENT_ENTRIES = [
    (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0x00, 0x00, 0xFF), (0xFF, 0xFF, 0x00),
    (0x00, 0xFF, 0xFF), (0xFF, 0x00, 0xFF), (0xFF, 0xFF, 0xFF), (0xDC, 0x00, 0x00),
    (0x00, 0xDC, 0x00), (0x00, 0x00, 0xDC), (0xDC, 0xDC, 0x00), (0x00, 0xDC, 0xDC),
    (0xDC, 0x00, 0xDC), (0xDC, 0xDC, 0xDC), (0xD9, 0x13, 0x40), (0x74, 0xDC, 0x7B),
    (0x00, 0x00, 0x00),
]

GREY_LEVELS = [17, 22, 28, 34, 41, 51, 57, 66, 77, 85, 96, 102, 112, 128, 140, 148, 153, 164,
               172, 182, 192, 204, 212, 218, 224, 236, 248, 251, 255]

CUBE_LEVELS = [0, 51, 102, 153, 204, 255]

# Two cube entries hold other colours.
CUBE_EXCEPTIONS = {174: (153, 204, 1), 240: (11, 138, 67)}


def colour_table():
    table = list(SEGMENT_ENTRIES)
    table += [(level, level, level) for level in GREY_LEVELS]
    for red in CUBE_LEVELS:
        for green in CUBE_LEVELS:
            for blue in CUBE_LEVELS:
                if red == green == blue:
                    continue
                table.append(CUBE_EXCEPTIONS.get(len(table), (red, green, blue)))
    if len(table) != 256:
        raise ValueError("colour table has %d entries, expected 256" % len(table))
    return table


def read_pixel_map(path):
    """The map's rows of colour-table indices; every row as long as the map has rows."""
    rows = []
    with open(path, encoding="ascii") as source:
        for line_number, line in enumerate(source, 1):
            text = line.strip()
            if not text or text.startswith("#"):
                continue
            fields = text.split()
            if len(fields) != 2 or int(fields[0]) != len(rows):
                raise ValueError("%s:%d: expected '<row> <pixels>'" % (path, line_number))
            rows.append([BACKGROUND_INDEX if c == "." else int(c, 16) for c in fields[1]])
    if not rows or any(len(row) != len(rows) for row in rows):
        raise ValueError("%s: the map must be square" % path)
    return rows


def bitmap_bytes(rows, table):
    size = len(rows)
    # Rows of a DIB are padded to a multiple of 4 bytes.
    padding = bytes(-size % 4)
    info_header = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 8, 0, (size + len(padding)) * size,
                              0, 0, 256, 256)
    palette = b"".join(struct.pack("BBBB", blue, green, red, 0) for red, green, blue in table)
    # Bottom-up: the last row of the picture comes first.
    pixels = b"".join(bytes(row) + padding for row in reversed(rows))
    offset = 14 + len(info_header) + len(palette)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return file_header + info_header + palette + pixels


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    data = bitmap_bytes(read_pixel_map(argv[1]), colour_table())
    with open(argv[2], "wb") as output:
        output.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
