#!/usr/bin/env python3
"""Draws the application icon, a flash memory chip, as res/quorvel.ico: 32x32 and 16x16, 16 colours.

Run from the project's top folder: python3 scripts/make-icon.py
"""
import struct

# The 16 colours of the standard VGA palette, as (blue, green, red, 0).
PALETTE = [
    (0x00, 0x00, 0x00), (0x00, 0x00, 0x80), (0x00, 0x80, 0x00), (0x00, 0x80, 0x80),
    (0x80, 0x00, 0x00), (0x80, 0x00, 0x80), (0x80, 0x80, 0x00), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0x00, 0x00, 0xFF), (0x00, 0xFF, 0x00), (0x00, 0xFF, 0xFF),
    (0xFF, 0x00, 0x00), (0xFF, 0x00, 0xFF), (0xFF, 0xFF, 0x00), (0xFF, 0xFF, 0xFF),
]  # (red, green, blue)
BLACK, DARK_GREY, LIGHT_GREY, WHITE, YELLOW, DARK_CYAN = 0, 8, 7, 15, 14, 3
TRANSPARENT = None


def chip(size):
    """A chip body with pins on the left and right, a notch and a label stripe."""
    img = [[TRANSPARENT] * size for _ in range(size)]
    s = size / 32.0
    body_l, body_r = round(7 * s), round(25 * s)
    body_t, body_b = round(3 * s), round(29 * s)
    for y in range(body_t, body_b):
        for x in range(body_l, body_r):
            img[y][x] = DARK_GREY if x in (body_l, body_r - 1) or y in (body_t, body_b - 1) else BLACK
    pins = 6 if size >= 32 else 4
    step = (body_b - body_t) / pins
    for i in range(pins):
        y0 = round(body_t + i * step + step * 0.25)
        y1 = max(y0 + 1, round(body_t + i * step + step * 0.75))
        for y in range(y0, y1):
            for x in range(round(2 * s), body_l):
                img[y][x] = LIGHT_GREY
            for x in range(body_r, round(30 * s)):
                img[y][x] = LIGHT_GREY
    # the notch that marks pin 1
    c = (body_l + body_r) // 2
    r = max(1, round(2 * s))
    for y in range(body_t, body_t + r):
        for x in range(c - r, c + r):
            img[y][x] = DARK_GREY
    # a label: a yellow stripe with cyan "cells" below, the flash array
    for y in range(round(9 * s), round(12 * s)):
        for x in range(body_l + round(2 * s), body_r - round(2 * s)):
            img[y][x] = YELLOW
    for y in range(round(15 * s), round(26 * s)):
        for x in range(body_l + round(2 * s), body_r - round(2 * s)):
            if (x + y) % 2 == 0 or size < 32:
                img[y][x] = DARK_CYAN if (y // max(1, round(2 * s))) % 2 else WHITE
    return img


def bitmap(img):
    size = len(img)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    xor_row = ((size * 4 + 31) // 32) * 4
    and_row = ((size + 31) // 32) * 4
    xor, mask = b"", b""
    for row in reversed(img):  # bottom-up
        nibbles = [0 if p is None else p for p in row]
        packed = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += packed + b"\0" * (xor_row - len(packed))
        bits = 0
        out = bytearray()
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is None else 0)
            if i % 8 == 7:
                out.append(bits)
                bits = 0
        mask += bytes(out) + b"\0" * (and_row - len(out))
    return header + palette + xor + mask


images = [(32, bitmap(chip(32))), (16, bitmap(chip(16)))]
data = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, bmp in images:
    data += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(bmp), offset)
    offset += len(bmp)
for _, bmp in images:
    data += bmp
open("res/quorvel.ico", "wb").write(data)
