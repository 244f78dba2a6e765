#!/usr/bin/env python3
"""Draws the icons of nomvera.exe (winapp/nomvera.rc) into this folder, with
no library beyond Python's own: the program's icon after
packaging/nomvera.svg (the same shapes, rasterised with 4 x 4 samples per
pixel), and the small "create" and "delete" marks of the batch buttons.
Each .ico holds 32-bit images (alpha) at several sizes. Run it again after
changing a shape; the .ico files are kept in the repository."""
import math
import struct
import sys
from pathlib import Path


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def shoulders(cx, base, half, height):
    # The path "M l,base c0-h ... z": a half ellipse standing on its base.
    return lambda x, y: y <= base and ((x - cx) / half) ** 2 + ((y - base) / height) ** 2 <= 1


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def hexcolour(text):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


# The program's icon in the 128 x 128 units of packaging/nomvera.svg; later
# shapes lie on top.
APP = [
    (rounded_rect(8, 8, 120, 120, 20), hexcolour("#2f5d8a")),
    (circle(34, 46, 11), hexcolour("#9cc3e6")),
    (shoulders(34, 82, 18, 20), hexcolour("#9cc3e6")),
    (circle(94, 46, 11), hexcolour("#9cc3e6")),
    (shoulders(94, 82, 18, 20), hexcolour("#9cc3e6")),
    (circle(64, 40, 14), (255, 255, 255)),
    (shoulders(64, 86, 24, 25), (255, 255, 255)),
    (rounded_rect(30, 92, 98, 112, 6), hexcolour("#f2b134")),
    (rect(40, 97, 44, 107), hexcolour("#2f5d8a")),
    (rect(50, 97, 54, 107), hexcolour("#2f5d8a")),
    (rect(60, 97, 64, 107), hexcolour("#2f5d8a")),
    (rounded_rect(74, 97, 88, 107, 2), hexcolour("#2f5d8a")),
]

# The batch buttons' marks in 16 x 16 units: a green plus on a white disc,
# a red cross on a white disc.
GREEN = hexcolour("#2e8b3a")
RED = hexcolour("#c0392b")
CREATE = [
    (circle(8, 8, 7.5), GREEN),
    (rect(7, 3.5, 9, 12.5), (255, 255, 255)),
    (rect(3.5, 7, 12.5, 9), (255, 255, 255)),
]


def cross_arm(sign):
    return lambda x, y: abs((x - 8) - sign * (y - 8)) <= 1.4 and abs(x - 8) <= 4.2


DELETE = [
    (circle(8, 8, 7.5), RED),
    (cross_arm(1), (255, 255, 255)),
    (cross_arm(-1), (255, 255, 255)),
]


def render(shapes, units, size, samples=4):
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * units / size
                    y = (py + (sy + 0.5) / samples) * units / size
                    colour = None
                    for inside, fill in shapes:
                        if inside(x, y):
                            colour = fill
                    if colour is not None:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            n = samples * samples
            if a:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def bmp_entry(pixels):
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    body = bytearray()
    for row in reversed(pixels):  # bottom-up
        for r, g, b, a in row:
            body += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(body) + bytes(mask)


def write_ico(path, shapes, units, sizes):
    images = [bmp_entry(render(shapes, units, size)) for size in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    Path(path).write_bytes(out)


def main():
    here = Path(sys.argv[0]).resolve().parent
    write_ico(here / "nomvera.ico", APP, 128, [16, 20, 24, 32, 40, 48, 64])
    write_ico(here / "create.ico", CREATE, 16, [16, 20, 24, 32])
    write_ico(here / "delete.ico", DELETE, 16, [16, 20, 24, 32])


if __name__ == "__main__":
    main()
