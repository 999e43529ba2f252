#!/usr/bin/python3
"""Builds resources/avendrel.ico from resources/logo.svg.

The icon holds seven images: 48, 32 and 16 pixels with a 256-colour palette
and an AND transparency mask; 48, 32 and 16 pixels with 32-bit colour and
alpha; and 256 pixels stored as PNG.  The 16-pixel images use the simplified
logo given by resources/logo-small.css.

Usage: tools/make_icon.py [output.ico]   (default resources/avendrel.ico)
"""

import io
import os
import struct
import subprocess
import sys

from PIL import Image

sys.dont_write_bytecode = True  # keep the source tree free of caches
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pngfile  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RESOURCES = os.path.join(ROOT, "resources")
LOGO = os.path.join(RESOURCES, "logo.svg")
SMALL_STYLE = os.path.join(RESOURCES, "logo-small.css")
DEFAULT_OUTPUT = os.path.join(RESOURCES, "avendrel.ico")

# (size, bits per pixel) in the order they appear in the icon directory.
IMAGES = [(48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (16, 32), (256, 32)]
SMALL_SIZE = 16
# Pixels at least this opaque are kept in the 256-colour images.
MASK_THRESHOLD = 128


def RenderLogo(size):
    """Renders the logo at size x size pixels as a Pillow RGBA image."""
    command = ["rsvg-convert", "--width", str(size), "--height", str(size), "--format", "png"]
    if size <= SMALL_SIZE:
        command += ["--stylesheet", SMALL_STYLE]
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    png = subprocess.run(command + [LOGO], check=True, stdout=subprocess.PIPE, env=env).stdout
    image = Image.open(io.BytesIO(png)).convert("RGBA")
    if image.size != (size, size):
        raise SystemExit("logo rendered at %s, expected %dx%d" % (image.size, size, size))
    return image


def BitmapHeader(size, bits, palette_entries):
    """Returns the BITMAPINFOHEADER of an icon image; its height counts the
    colour bitmap and the AND mask."""
    row = ((size * bits + 31) // 32) * 4
    image_bytes = row * size + MaskRowBytes(size) * size
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, image_bytes,
                       0, 0, palette_entries, 0)


def MaskRowBytes(size):
    return ((size + 31) // 32) * 4


def AndMask(transparent, size):
    """Packs the AND mask, bottom row first: a set bit marks a transparent pixel."""
    out = bytearray()
    for y in reversed(range(size)):
        row = bytearray(MaskRowBytes(size))
        for x in range(size):
            if transparent[y * size + x]:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def TrueColourImage(image):
    """Returns a 32-bit BGRA icon image with its AND mask."""
    size = image.width
    pixels = list(image.getdata())
    body = bytearray()
    for y in reversed(range(size)):
        for r, g, b, a in pixels[y * size:(y + 1) * size]:
            body += bytes((b, g, r, a))
    transparent = [p[3] == 0 for p in pixels]
    return BitmapHeader(size, 32, 0) + bytes(body) + AndMask(transparent, size)


def PaletteImage(image):
    """Returns a 256-colour icon image: opaque pixels quantised to a palette,
    transparent ones black in the colour bitmap and set in the AND mask."""
    size = image.width
    pixels = list(image.getdata())
    transparent = [p[3] < MASK_THRESHOLD for p in pixels]
    rgb = Image.new("RGB", image.size)
    rgb.putdata([(0, 0, 0) if t else p[:3] for p, t in zip(pixels, transparent)])
    # 255 colours leave one slot free for the black that transparent pixels need.
    indexed = rgb.quantize(colors=255, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    palette = indexed.getpalette()[:255 * 3]
    palette += [0] * (256 * 3 - len(palette))
    black = 255
    indices = list(indexed.getdata())
    indices = [black if t else i for i, t in zip(indices, transparent)]
    table = bytearray()
    for i in range(256):
        r, g, b = palette[i * 3:i * 3 + 3]
        table += bytes((b, g, r, 0))
    row_bytes = ((size * 8 + 31) // 32) * 4
    body = bytearray()
    for y in reversed(range(size)):
        row = bytearray(indices[y * size:(y + 1) * size])
        body += row + bytes(row_bytes - len(row))
    return BitmapHeader(size, 8, 256) + bytes(table) + bytes(body) + AndMask(transparent, size)


def BuildIcon():
    """Returns the bytes of the icon file."""
    renders = {}
    entries = []
    for size, bits in IMAGES:
        if size not in renders:
            renders[size] = RenderLogo(size)
        image = renders[size]
        if size == 256:
            data = pngfile.EncodeRgba(image)
        elif bits == 8:
            data = PaletteImage(image)
        else:
            data = TrueColourImage(image)
        entries.append((size, bits, data))
    header = struct.pack("<HHH", 0, 1, len(entries))
    offset = len(header) + 16 * len(entries)
    directory = bytearray()
    blobs = bytearray()
    for size, bits, data in entries:
        # A width or height of 0 means 256; a colour count of 0 means 256 or more.
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits,
                                 len(data), offset + len(blobs))
        blobs += data
    return header + bytes(directory) + bytes(blobs)


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_OUTPUT
    data = BuildIcon()
    with open(output, "wb") as f:
        f.write(data)
    print("wrote", output)


if __name__ == "__main__":
    main()
