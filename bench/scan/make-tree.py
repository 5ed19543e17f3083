#!/usr/bin/env python3
"""Builds a Windows-like folder tree for the scan benchmark.

    make-tree.py OUT FILES PE_LIST [--distinct]

OUT receives FILES files in nested folders (Windows, Program Files, Users ..., 1 to 6 levels,
10 to 80 files a folder): about 45 % PE files taken from the real ones listed in PE_LIST (one
path a line), 8 % .ico, 4 % .bmp and the rest files without icons (.txt, .dat, .log, .xml) whose
sizes are drawn from 200 bytes to 2 MB. Every file is a hard link to one of a few hundred
sources, so a tree of 100,000 files costs little disk; all sources and folders are dated a year
back, so the scan index may keep what it learns. The same seed gives the same tree.

With --distinct every file is a file of its own, as on a real partition, where a cold scan
finds each file's headers somewhere else on the disk. To keep the tree small, a file holds only
what a count reads and is a hole elsewhere (same size, same counts): a PE file its first 8 KB
and its resource directory tables, any other file its first 8 KB. Pictures and fingerprints of
such a tree are of holes, so it serves the cold rows only.
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


def resource_tables(data, size):
    """The byte ranges of a PE file that a count reads: the headers, and the resource directory
    tables (directories, their entries, names and data entries, not the data)."""
    if len(data) < 0x40 or data[:2] != b'MZ':
        return [(0, min(size, 8192))]
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    if data[pe:pe + 4] != b'PE\0\0':
        return [(0, min(size, 8192))]
    sections, optional = struct.unpack_from('<H', data, pe + 6)[0], struct.unpack_from('<H', data, pe + 20)[0]
    opt = pe + 24
    directories = opt + (96 if struct.unpack_from('<H', data, opt)[0] == 0x10b else 112)
    ranges = [(0, min(size, 8192))]
    if directories + 24 > opt + optional:
        return ranges
    root = struct.unpack_from('<I', data, directories + 16)[0]
    table = []
    for i in range(sections):
        vsize, va, raw, rawptr = struct.unpack_from('<IIII', data, opt + optional + 40 * i + 8)
        table.append((va, max(vsize, raw), rawptr))

    def offset(rva):
        for va, extent, rawptr in table:
            if va <= rva < va + extent:
                return rawptr + rva - va
        return None

    start = offset(root)
    if start is None:
        return ranges
    end, seen = start, set()

    def walk(at):
        nonlocal end
        if at in seen or start + at + 16 > size:
            return
        seen.add(at)
        named, ids = struct.unpack_from('<HH', data, start + at + 12)
        end = max(end, start + at + 16 + 8 * (named + ids))
        for e in range(named + ids):
            name, target = struct.unpack_from('<II', data, start + at + 16 + 8 * e)
            if name & 0x80000000 and start + (name & 0x7FFFFFFF) + 2 <= size:
                length = struct.unpack_from('<H', data, start + (name & 0x7FFFFFFF))[0]
                end = max(end, start + (name & 0x7FFFFFFF) + 2 + 2 * length)
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF)
            else:
                end = max(end, start + target + 16)

    walk(0)
    ranges.append((start, min(size, end) - start))
    return ranges


def main():
    out, total, pe_list = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    distinct = '--distinct' in sys.argv[4:]
    copies = {}  # source path -> (size, [(offset, bytes)]) for --distinct

    def place(src, path):
        if not distinct:
            os.link(src, path)
            return
        if src not in copies:
            with open(src, 'rb') as f:
                data = f.read()
            try:
                kept = resource_tables(data, len(data))
            except struct.error:  # headers this script cannot follow: the whole file, then
                kept = [(0, len(data))]
            copies[src] = (len(data), [(o, data[o:o + n]) for o, n in kept if n > 0])
        size, parts = copies[src]
        with open(path, 'wb') as f:
            for offset, part in parts:
                f.seek(offset)
                f.write(part)
            f.truncate(size)
        stat = os.stat(src)
        os.utime(path, (stat.st_atime, stat.st_mtime))
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
            place(src, os.path.join(folder, name))
            made += 1
    # Folders are dated back too, as on a partition that is not being written to: the index
    # keeps a folder's listing only once the folder is older than the file system's time
    # resolution, and a tree scanned the moment it was made would have many just changed.
    for path, _, _ in os.walk(out):
        os.utime(path, (year_ago, year_ago))
    print('%d files under %s' % (made, out))


main()
