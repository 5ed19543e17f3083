#!/usr/bin/env python3
"""Builds a Windows-like folder tree for the scan benchmark.

    make-tree.py OUT FILES PE_LIST

OUT receives FILES files in nested folders (Windows, Program Files, Users ..., 1 to 6 levels,
10 to 80 files a folder): about 45 % PE files taken from the real ones listed in PE_LIST (one
path a line), 8 % .ico, 4 % .bmp and the rest files without icons (.txt, .dat, .log, .xml) whose
sizes are drawn from 200 bytes to 2 MB. Every file is a hard link to one of a few hundred
sources, so a tree of 100,000 files costs little disk; all sources are dated a year back, so
the scan index may keep what it learns. The same seed gives the same tree.
"""
import os
import random
import struct
import sys
import time


def ico_bytes(rng):
    # One 32 x 32, 32-bit image: ICONDIR, one ICONDIRENTRY, BITMAPINFOHEADER, pixels, AND mask.
    pixels = bytes(rng.getrandbits(8) for _ in range(32 * 32 * 4))
    mask = bytes(32 * 4)
    header = struct.pack('<IiiHHIIiiII', 40, 32, 64, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + mask
    return struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', 32, 32, 0, 0, 1, 32,
                                                      len(image), 22) + image


def bmp_bytes(rng):
    width, height = rng.choice([(16, 16), (48, 48), (200, 150), (640, 480)])
    row = (width * 3 + 3) & ~3
    pixels = bytes(rng.getrandbits(8) for _ in range(min(row * height, 4096)))
    pixels += bytes(row * height - len(pixels))
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    return b'BM' + struct.pack('<IHHI', 14 + 40 + len(pixels), 0, 0, 54) + info + pixels


def main():
    out, total, pe_list = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    rng = random.Random(20)
    pe_files = [line.strip() for line in open(pe_list) if line.strip()]
    if not pe_files:
        sys.exit('no PE files listed in ' + pe_list)
    sources = os.path.join(out, '.sources')  # hidden: the scan never enters it
    os.makedirs(sources, exist_ok=True)
    year_ago = time.time() - 365 * 86400

    def source(name, data):
        path = os.path.join(sources, name)
        with open(path, 'wb') as f:
            f.write(data)
        os.utime(path, (year_ago, year_ago))
        return path

    icos = [source('i%d.ico' % i, ico_bytes(rng)) for i in range(20)]
    bmps = [source('b%d.bmp' % i, bmp_bytes(rng)) for i in range(20)]
    plain = []
    for i in range(200):
        size = int(200 * (10000 ** rng.random()))  # 200 B .. 2 MB, log-uniform
        plain.append(source('p%d' % i, os.urandom(min(size, 65536)) + bytes(max(0, size - 65536))))

    tops = ['Windows', 'Program Files', 'Program Files (x86)', 'Users', 'ProgramData', 'Games']
    words = ['System32', 'SysWOW64', 'drivers', 'en-US', 'Common Files', 'Microsoft', 'Office',
             'bin', 'lib', 'plugins', 'resources', 'Tools', 'Data', 'Cache', 'Temp', 'Setup',
             'Help', 'Fonts', 'Media', 'Assets', 'Shared', 'Runtime', 'x64', 'x86', 'Vendor']
    made = 0
    serial = 0
    while made < total:
        depth = rng.randint(1, 6)
        parts = [rng.choice(tops)] + [rng.choice(words) + ('' if rng.random() < 0.7 else
                                                           ' %d' % rng.randint(1, 40))
                                      for _ in range(depth - 1)]
        folder = os.path.join(out, *parts)
        os.makedirs(folder, exist_ok=True)
        for _ in range(min(total - made, rng.randint(10, 80))):
            serial += 1
            kind = rng.random()
            if kind < 0.45:
                src = rng.choice(pe_files)
                name = 'm%06d%s' % (serial, rng.choice(['.dll', '.exe', '.dll', '.sys', '.cpl']))
            elif kind < 0.53:
                src, name = rng.choice(icos), 'i%06d.ico' % serial
            elif kind < 0.57:
                src, name = rng.choice(bmps), 'b%06d.bmp' % serial
            else:
                src = rng.choice(plain)
                name = 'f%06d%s' % (serial, rng.choice(['.txt', '.dat', '.log', '.xml', '']))
            os.link(src, os.path.join(folder, name))
            made += 1
    print('%d files under %s' % (made, out))


main()
