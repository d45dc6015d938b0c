#!/usr/bin/env python3
"""Sheets for the simulated feeder and the check of scanned pages against them.

  pagecheck.py make KIND WIDTH HEIGHT SEED OUT.pnm   KIND: bw, grey, colour
  pagecheck.py compare SHEET.pnm PAGE.pnm [MEAN_TOLERANCE]

A page is the sheet at its top left on a white page (the feeder's sheet is
smaller than the scanned page). compare reads both as binary PNM (P4, P5, P6),
compares sample values (bilevel black 0, white 255; grey and colour as
they are) and fails when the sheet's area differs (any sample for a tolerance
of 0, else a mean difference above the tolerance) or the rest is not white.
"""
import random
import sys


def read_pnm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    need = 3 if data[:2] == b"P4" else 4
    while len(fields) < need:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    magic, width, height = fields[0], int(fields[1]), int(fields[2])
    if magic == b"P4":
        row = (width + 7) // 8
        px = []
        for y in range(height):
            r = data[pos + y * row:pos + (y + 1) * row]
            px.append([0 if (r[x // 8] >> (7 - x % 8)) & 1 else 255 for x in range(width)])
        return width, height, 1, px
    maxval = int(fields[3])
    if maxval > 255:
        raise SystemExit(path + ": 16-bit samples not expected")
    channels = 1 if magic == b"P5" else 3
    row = width * channels
    px = [list(data[pos + y * row:pos + (y + 1) * row]) for y in range(height)]
    return width, height, channels, px


def as_channels(img, channels):
    """Rows of samples with the given channel count (grey repeated for colour)."""
    w, h, c, px = img
    if c == channels or (c == 1 and channels == 1):
        return px
    if c == 1 and channels == 3:
        return [[v for v in row for _ in range(3)] for row in px]
    raise SystemExit("a colour page cannot be compared with a grey sheet")


def make(kind, width, height, seed, out):
    rnd = random.Random(seed)
    blocks = [(rnd.randrange(width - 20), rnd.randrange(height - 10), rnd.randrange(8, 20),
               rnd.randrange(4, 10)) for _ in range(60)]

    def ink(x, y):
        return any(bx <= x < bx + bw and by <= y < by + bh for bx, by, bw, bh in blocks)

    with open(out, "wb") as f:
        if kind == "bw":
            f.write(b"P4\n%d %d\n" % (width, height))
            for y in range(height):
                row = bytearray((width + 7) // 8)
                for x in range(width):
                    if ink(x, y) or x == y or (x + seed) % 37 == 0:
                        row[x // 8] |= 0x80 >> (x % 8)
                f.write(bytes(row))
        elif kind == "grey":
            f.write(b"P5\n%d %d\n255\n" % (width, height))
            for y in range(height):
                f.write(bytes(30 if ink(x, y) else (x * 255 // width + seed * 40) % 256
                              for x in range(width)))
        else:
            f.write(b"P6\n%d %d\n255\n" % (width, height))
            for y in range(height):
                row = bytearray()
                for x in range(width):
                    if ink(x, y):
                        row += bytes((20, 20, 160))
                    else:
                        row += bytes((x * 255 // width, y * 255 // height, (seed * 70) % 256))
                f.write(bytes(row))


def compare(sheet_path, page_path, tolerance):
    sheet = read_pnm(sheet_path)
    page = read_pnm(page_path)
    sw, sh, sc, _ = sheet
    pw, ph, pc, _ = page
    if pw < sw or ph < sh:
        return "page %dx%d smaller than the sheet %dx%d" % (pw, ph, sw, sh)
    channels = max(sc, pc)
    s = as_channels(sheet, channels)
    p = as_channels(page, channels)
    total, count, worst = 0, 0, 0
    for y in range(sh):
        for i in range(sw * channels):
            d = abs(s[y][i] - p[y][i])
            total += d
            worst = max(worst, d)
            count += 1
    mean = total / count
    if tolerance == 0 and worst != 0:
        return "sheet area differs (largest difference %d, mean %.3f)" % (worst, mean)
    if mean > tolerance:
        return "sheet area differs: mean difference %.3f above %.3f" % (mean, tolerance)
    rest, rest_count = 0, 0
    for y in range(ph):
        start = sw * channels if y < sh else 0
        for i in range(start, pw * channels):
            rest += 255 - p[y][i]
            rest_count += 1
    if rest_count and rest / rest_count > max(tolerance, 0.5):
        return "the page outside the sheet is not white (mean %.3f below white)" % (
            rest / rest_count)
    return None


def main(argv):
    if len(argv) >= 6 and argv[1] == "make":
        make(argv[2], int(argv[3]), int(argv[4]), int(argv[5]), argv[6])
        return 0
    if len(argv) >= 4 and argv[1] == "compare":
        problem = compare(argv[2], argv[3], float(argv[4]) if len(argv) > 4 else 0.0)
        if problem:
            print("%s vs %s: %s" % (argv[3], argv[2], problem))
            return 1
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
