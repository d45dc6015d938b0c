#!/usr/bin/env python3
"""Writes the status window's animation clips: uncompressed 8-bit AVI files
(one video stream, full frames, 'DIB ' handler) that the common animation
control plays from a resource.

    make_clip.py KIND FRAMES OUT.avi      KIND: save | print | mail
"""
import struct
import sys

W, H = 64, 48
# palette indices
BG, INK, PAPER, ACCENT, SHADE = 0, 1, 2, 3, 4
PALETTE = {BG: (240, 240, 240), INK: (40, 40, 60), PAPER: (255, 255, 255),
           ACCENT: (40, 120, 200), SHADE: (170, 170, 180)}


def blank():
    return [[BG] * W for _ in range(H)]


def rect(img, x0, y0, x1, y1, c):
    for y in range(max(0, y0), min(H, y1)):
        row = img[y]
        for x in range(max(0, x0), min(W, x1)):
            row[x] = c


def frame_rect(img, x0, y0, x1, y1, c):
    rect(img, x0, y0, x1, y0 + 1, c)
    rect(img, x0, y1 - 1, x1, y1, c)
    rect(img, x0, y0, x0 + 1, y1, c)
    rect(img, x1 - 1, y0, x1, y1, c)


def page(img, x, y):
    rect(img, x, y, x + 12, y + 16, PAPER)
    frame_rect(img, x, y, x + 12, y + 16, INK)
    for i in range(3):
        rect(img, x + 2, y + 4 + 3 * i, x + 10, y + 5 + 3 * i, SHADE)


def scanner(img):
    rect(img, 2, 30, 22, 40, SHADE)
    frame_rect(img, 2, 30, 22, 40, INK)
    rect(img, 4, 33, 20, 34, ACCENT)


def draw(kind, i, n):
    img = blank()
    scanner(img)
    t = i / max(1, n - 1)
    x = 6 + int(t * 38)
    if kind == "save":  # a page travels from the scanner into a folder
        rect(img, 44, 22, 62, 40, ACCENT)
        rect(img, 44, 19, 52, 22, ACCENT)
        frame_rect(img, 44, 22, 62, 40, INK)
        page(img, x, 12)
    elif kind == "print":  # a page goes through a printer
        rect(img, 40, 24, 62, 36, SHADE)
        frame_rect(img, 40, 24, 62, 36, INK)
        rect(img, 44, 36, 58, 38, INK)
        page(img, x, 8 if x < 40 else 8 + (x - 40))
    else:  # mail: an envelope flies off
        ex, ey = 6 + int(t * 44), 16 - int(t * 10)
        rect(img, ex, ey, ex + 14, ey + 10, PAPER)
        frame_rect(img, ex, ey, ex + 14, ey + 10, INK)
        for k in range(7):
            rect(img, ex + k, ey + k // 2 + 1, ex + k + 1, ey + k // 2 + 2, ACCENT)
            rect(img, ex + 13 - k, ey + k // 2 + 1, ex + 14 - k, ey + k // 2 + 2, ACCENT)
    return img


def chunk(fourcc, data):
    pad = b"\0" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def lst(kind, data):
    return chunk(b"LIST", kind + data)


def main():
    kind, frames, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    stride = (W + 3) & ~3
    size = stride * H
    fps = 8
    pal = b"".join(struct.pack("<BBBB", *reversed(PALETTE.get(i, (0, 0, 0))), 0)
                   for i in range(256))
    bih = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, size, 0, 0, 256, 0)
    avih = struct.pack("<14I", 1000000 // fps, size * fps, 0, 0x10, frames, 0, 1, size, W, H,
                       0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, 1, fps, 0, frames,
                       size, 0xFFFFFFFF, 0, 0, 0, W, H)
    hdrl = lst(b"hdrl", chunk(b"avih", avih) +
               lst(b"strl", chunk(b"strh", strh) + chunk(b"strf", bih + pal)))
    movi_data = b""
    index = b""
    for i in range(frames):
        img = draw(kind, i, frames)
        # bottom-up rows
        body = b"".join(bytes(img[y]) + b"\0" * (stride - W) for y in range(H - 1, -1, -1))
        index += struct.pack("<4sIII", b"00db", 0x10, 4 + len(movi_data), len(body))
        movi_data += chunk(b"00db", body)
    movi = lst(b"movi", movi_data)
    riff = chunk(b"RIFF", b"AVI " + hdrl + movi + chunk(b"idx1", index))
    with open(out, "wb") as f:
        f.write(riff)


if __name__ == "__main__":
    main()
