#!/usr/bin/env python3
"""Pixel questions about the end-to-end run's screenshots.

ImageMagick turns a screenshot into a plain PPM, which needs no imaging module to read. Every
command prints one line for the shell script to read; a region is "X Y W H" in screen pixels.

  pixel  FILE X Y                  -> RRGGBB of one pixel
  bbox   FILE RRGGBB X Y W H       -> "X Y W H" of the pixels of that colour in the region, or "none"
  cells  FILE RRGGBB X Y W H       -> number of grid cells that hold a picture, the region being the
                                      grid's viewport whose background is RRGGBB
  differ FILE1 FILE2 X Y W H       -> number of pixels that differ between two shots in the region
  rows   FILE X Y0 Y1              -> "Y0 Y1" of each band of rows at column X whose colour differs
                                      from the colour at Y1 (the tree's selected row), one a line
  colours FILE X Y W H             -> number of distinct colours in the region
"""

import subprocess
import sys

# The grid's cells: pictures of 32 x 32 drawn 3 pixels into cells 36 high, one column every
# ColumnWidth pixels (the grid's width divided among as many 39-pixel columns as fit).
CELL_HEIGHT = 36
MIN_COLUMN = 39
PICTURE = 32
INSET = 3


class Shot:
    def __init__(self, path):
        data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True,
                              stdout=subprocess.PIPE).stdout
        fields = []
        pos = 0
        # Header: magic, width, height, maximum, separated by white space (no comments from IM).
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            fields.append(data[start:pos])
        if fields[0] != b"P6" or fields[3] != b"255":
            raise SystemExit("unexpected picture format from convert: %r" % fields)
        self.width = int(fields[1])
        self.height = int(fields[2])
        self.pixels = data[pos + 1:]

    def at(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            return None
        i = (y * self.width + x) * 3
        return self.pixels[i:i + 3].hex().upper()

    def clip(self, x, y, w, h):
        x0, y0 = max(0, x), max(0, y)
        x1, y1 = min(self.width, x + w), min(self.height, y + h)
        return x0, y0, max(0, x1 - x0), max(0, y1 - y0)


def bbox(shot, colour, x, y, w, h):
    x, y, w, h = shot.clip(x, y, w, h)
    left, top, right, bottom = None, None, None, None
    for yy in range(y, y + h):
        for xx in range(x, x + w):
            if shot.at(xx, yy) == colour:
                left = xx if left is None else min(left, xx)
                right = xx if right is None else max(right, xx)
                top = yy if top is None else top
                bottom = yy
    if left is None:
        return "none"
    return "%d %d %d %d" % (left, top, right - left + 1, bottom - top + 1)


def cells(shot, colour, x, y, w, h):
    columns = max(1, w // MIN_COLUMN)
    # The grid divides its own width, which a sunken frame makes 4 pixels wider than the
    # viewport; a pixel either way is absorbed by looking only inside each picture.
    width = (w + columns - 3) // columns
    rows = max(1, h // CELL_HEIGHT)
    filled = 0
    for column in range(columns + 1):
        for row in range(rows):
            left = x + column * width + INSET + 2
            top = y + row * CELL_HEIGHT + INSET + 2
            if left + PICTURE - 4 > x + w:
                continue
            if any(shot.at(xx, yy) != colour
                   for yy in range(top, top + PICTURE - 4)
                   for xx in range(left, left + PICTURE - 4)):
                filled += 1
    return filled


def differ(first, second, x, y, w, h):
    x, y, w, h = first.clip(x, y, w, h)
    return sum(1 for yy in range(y, y + h) for xx in range(x, x + w)
               if first.at(xx, yy) != second.at(xx, yy))


def rows(shot, x, y0, y1):
    background = shot.at(x, y1)
    bands = []
    start = None
    for y in range(y0, y1 + 1):
        inside = shot.at(x, y) != background
        if inside and start is None:
            start = y
        if not inside and start is not None:
            bands.append((start, y - 1))
            start = None
    if start is not None:
        bands.append((start, y1))
    return "\n".join("%d %d" % band for band in bands)


def colours(shot, x, y, w, h):
    x, y, w, h = shot.clip(x, y, w, h)
    return len({shot.at(xx, yy) for yy in range(y, y + h) for xx in range(x, x + w)})


def main(argv):
    command, args = argv[1], argv[2:]
    if command == "pixel":
        print(Shot(args[0]).at(int(args[1]), int(args[2])))
    elif command == "bbox":
        print(bbox(Shot(args[0]), args[1].upper(), *map(int, args[2:6])))
    elif command == "cells":
        print(cells(Shot(args[0]), args[1].upper(), *map(int, args[2:6])))
    elif command == "differ":
        print(differ(Shot(args[0]), Shot(args[1]), *map(int, args[2:6])))
    elif command == "rows":
        print(rows(Shot(args[0]), *map(int, args[1:4])))
    elif command == "colours":
        print(colours(Shot(args[0]), *map(int, args[1:5])))
    else:
        raise SystemExit("unknown command " + command)


if __name__ == "__main__":
    main(sys.argv)
