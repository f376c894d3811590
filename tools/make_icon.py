#!/usr/bin/env python3
"""Draws the application icon and writes it as res/TolmUpdaterExec.ico.

The motif: a broad green arrow pointing down onto a globe with blue seas and green land.
Six images, each a device-independent bitmap with an AND mask: 48, 32 and 16 pixels at 4 bits
per pixel (the standard 16-colour palette), then the same sizes at 8 bits per pixel.
The 48 and 32 pixel images are drawn from the shapes below; the 16 pixel one is a pixel map,
since drawn shapes lose their outlines at that size.

Usage: tools/make_icon.py [output.ico]
"""
import math
import os
import struct
import sys

SIZES = (48, 32, 16)
SUBSAMPLES = 8  # per axis: edge coverage and the averaged colours of the 8-bit images

# Shapes in a unit square, y pointing down.
GLOBE_CENTRE = (0.5, 0.594)
GLOBE_RADIUS = 0.4125
ARROW = [(0.3125, 0.0), (0.6875, 0.0), (0.6875, 0.3125), (0.875, 0.3125),
         (0.5, 0.6875), (0.125, 0.3125), (0.3125, 0.3125)]
# Land in the globe's own coordinates (-1..1 across it), where the arrow leaves the globe in sight.
CONTINENTS = [
    [(-0.97, -0.2), (-0.72, -0.32), (-0.52, -0.12), (-0.56, 0.16), (-0.36, 0.34), (-0.4, 0.6),
     (-0.56, 0.8), (-0.68, 0.5), (-0.92, 0.3)],
    [(0.52, 0.02), (0.86, -0.12), (0.99, 0.2), (0.86, 0.5), (0.62, 0.78), (0.44, 0.56), (0.5, 0.3)],
    [(-0.14, 0.8), (0.14, 0.72), (0.28, 0.9), (0.0, 0.99)],
]
# Light from the upper left, towards the viewer.
LIGHT = (-0.45, -0.55, 0.70)

# The 16 pixel image. K arrow outline, A arrow, H arrow highlight, O globe outline, S sea, L land.
PIXEL_MAP_16 = [
    ".....KKKKKK.....",
    ".....KHAAAK.....",
    ".....KHAAAK.....",
    ".....KHAAAK.....",
    "....OKHAAAKO....",
    "..KKKKHAAAKKKK..",
    "..OKHHAAAAAAKO..",
    "..OLKHAAAAAKSO..",
    ".OLLLKHAAAKSLLO.",
    ".OLLSSKHAKSLLLO.",
    ".OSLLSSKKSSLLSO.",
    "..OSLSSSSSSLSO..",
    "..OSSSSSSSSSSO..",
    "...OSSSSSSSSO...",
    "....OOSSSSOO....",
    "......OOOO......",
]
MATERIALS = {".": None, "K": "arrow edge", "A": "arrow", "H": "arrow highlight",
             "O": "globe edge", "S": "sea", "L": "land"}

# The standard 16-colour palette of Windows icons.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
VGA_BLACK, VGA_DARK_GREEN, VGA_DARK_BLUE, VGA_GREEN, VGA_BLUE, VGA_CYAN = 0, 2, 4, 10, 12, 14


def polygon_distance(x, y, points):
    """Signed distance to a polygon: negative inside."""
    best = float("inf")
    inside = False
    for i, (ax, ay) in enumerate(points):
        bx, by = points[(i + 1) % len(points)]
        ex, ey = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey)))
        best = min(best, math.hypot(x - ax - t * ex, y - ay - t * ey))
        if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
            inside = not inside
    return -best if inside else best


def material_at(x, y, pixel):
    """What the drawing shows at a point; |pixel| is the width of one pixel in unit lengths."""
    outline = max(1.0, 1.0 / (32 * pixel)) * pixel  # one pixel, a little more on the large image
    arrow = polygon_distance(x, y, ARROW)
    if arrow < 0:
        if arrow > -outline:
            return "arrow edge"
        return "arrow highlight" if x < 0.5 - 0.5 * outline and y < 0.3125 + outline else "arrow"
    cx, cy = GLOBE_CENTRE
    globe = math.hypot(x - cx, y - cy) - GLOBE_RADIUS
    if globe >= 0:
        return None
    if globe > -outline:
        return "globe edge"
    u, v = (x - cx) / GLOBE_RADIUS, (y - cy) / GLOBE_RADIUS
    return "land" if any(polygon_distance(u, v, c) < 0 for c in CONTINENTS) else "sea"


def brightness(material, x, y):
    """0..1: the globe lit as a sphere from the upper left, the arrow lighter towards its top."""
    if material.startswith("arrow"):
        return 1.0 - 0.7 * y
    u = (x - GLOBE_CENTRE[0]) / GLOBE_RADIUS
    v = (y - GLOBE_CENTRE[1]) / GLOBE_RADIUS
    w = math.sqrt(max(0.0, 1.0 - u * u - v * v))
    lx, ly, lz = LIGHT
    return max(0.0, (u * lx + v * ly + w * lz) / math.sqrt(lx * lx + ly * ly + lz * lz))


def lerp(a, b, t):
    return tuple(p + (q - p) * t for p, q in zip(a, b))


def true_colour(material, light):
    if material == "sea":
        return lerp((15, 60, 170), (110, 185, 255), light)
    if material == "land":
        return lerp((20, 100, 25), (110, 190, 60), light)
    if material == "globe edge":
        return (10, 30, 100)
    if material == "arrow":
        return lerp((40, 165, 30), (150, 240, 100), light)
    if material == "arrow highlight":
        return lerp((120, 220, 90), (210, 255, 170), light)
    return (0, 80, 10)  # arrow edge


def vga_colour(material, light):
    if material == "sea":
        return VGA_CYAN if light > 0.95 else VGA_BLUE if light > 0.2 else VGA_DARK_BLUE
    if material == "land":
        return VGA_DARK_GREEN
    if material == "globe edge":
        return VGA_DARK_BLUE
    if material in ("arrow", "arrow highlight"):
        return VGA_GREEN
    return VGA_BLACK  # arrow edge


def samples(size):
    """Per pixel: None for transparent, else the (material, brightness) samples it covers."""
    pixel = 1.0 / size
    if size == 16:
        return [[None if MATERIALS[c] is None else
                 [(MATERIALS[c], brightness(MATERIALS[c], (x + 0.5) * pixel, (y + 0.5) * pixel))]
                 for x, c in enumerate(row)] for y, row in enumerate(PIXEL_MAP_16)]
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            covered = []
            for sy in range(SUBSAMPLES):
                for sx in range(SUBSAMPLES):
                    x = (px + (sx + 0.5) / SUBSAMPLES) * pixel
                    y = (py + (sy + 0.5) / SUBSAMPLES) * pixel
                    material = material_at(x, y, pixel)
                    if material is not None:
                        covered.append((material, brightness(material, x, y)))
            row.append(covered if len(covered) * 2 >= SUBSAMPLES * SUBSAMPLES else None)
        rows.append(row)
    return rows


def per_pixel(size, value_of):
    """Rows of value_of(covered samples) for each pixel; None stays None (transparent)."""
    return [[None if covered is None else value_of(covered) for covered in row] for row in samples(size)]


def image_4bit(size):
    """Palette and indices (None: transparent): each pixel's commonest material in a flat VGA colour."""
    def commonest(covered):
        materials = [m for m, _ in covered]
        material = max(sorted(set(materials)), key=materials.count)
        lights = [b for m, b in covered if m == material]
        return vga_colour(material, sum(lights) / len(lights))
    return VGA, per_pixel(size, commonest)


def median_cut(colours, count):
    """A palette of at most |count| colours for the given colours."""
    def spread(box, channel):
        return max(c[channel] for c in box) - min(c[channel] for c in box)

    boxes = [sorted(set(colours))]
    while len(boxes) < count:
        boxes.sort(key=lambda b: max(spread(b, i) for i in range(3)))
        box = boxes.pop()
        if len(box) < 2:
            boxes.append(box)
            break
        channel = max(range(3), key=lambda i: spread(box, i))
        box.sort(key=lambda c: c[channel])
        boxes += [box[:len(box) // 2], box[len(box) // 2:]]
    return [tuple(round(sum(c[i] for c in b) / len(b)) for i in range(3)) for b in boxes]


def image_8bit(size):
    """Palette and indices (None: transparent): the covered samples' average colour per pixel."""
    def average(covered):
        rgb = [true_colour(m, b) for m, b in covered]
        return tuple(round(sum(c[i] for c in rgb) / len(rgb)) for i in range(3))
    colours = per_pixel(size, average)
    # Entry 0 stays black: the colour of the transparent pixels.
    palette = [(0, 0, 0)] + median_cut([c for row in colours for c in row if c is not None], 255)
    palette += [(0, 0, 0)] * (256 - len(palette))
    nearest = {}
    for c in {c for row in colours for c in row if c is not None}:
        nearest[c] = min(range(1, 256), key=lambda i: sum((p - q) ** 2 for p, q in zip(palette[i], c)))
    return palette, [[None if c is None else nearest[c] for c in row] for row in colours]


def dib(size, bits, palette, indices):
    """BITMAPINFOHEADER, palette, colour bitmap and AND mask; rows bottom-up, each DWORD-aligned."""
    def stride(bits_per_pixel):
        return (size * bits_per_pixel + 31) // 32 * 4

    colour_rows = bytearray()
    mask_rows = bytearray()
    for row in reversed(indices):
        line = bytearray(stride(bits))
        mask_line = bytearray(stride(1))
        for x, index in enumerate(row):
            if index is None:
                mask_line[x // 8] |= 0x80 >> (x % 8)
                index = 0
            if bits == 4:
                line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            else:
                line[x] = index
        colour_rows += line
        mask_rows += mask_line
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                         len(colour_rows) + len(mask_rows), 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + table + bytes(colour_rows) + bytes(mask_rows)


def build_icon():
    images = []
    for bits, draw in ((4, image_4bit), (8, image_8bit)):
        for size in SIZES:
            palette, indices = draw(size)
            images.append((size, bits, dib(size, bits, palette, indices)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, bits, data in images:
        entries += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits,
                               len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(data for _, _, data in images)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "res", "TolmUpdaterExec.ico")
    with open(out, "wb") as f:
        f.write(build_icon())


if __name__ == "__main__":
    main()
