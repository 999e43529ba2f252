#!/usr/bin/python3
"""Renders resources/artwork.svg into resources/artwork.png.

The banner is rendered with rsvg-convert, then normalised: alpha is made
strictly 0 or 255, the side columns are cleared, and the PNG is written with
exactly IHDR, sRGB, gAMA, IDAT and IEND.

The web address is a click target, so its ink must fill a fixed box exactly.
Glyph ink depends on the font rasteriser, so the address text is measured and
fitted: a high-resolution render of the text alone gives its outline box, an
affine transform maps that box onto the target, and the final render is
checked pixel by pixel, nudging each edge until the ink bounds the box.

Usage: tools/make_artwork.py [output.png]   (default resources/artwork.png)
"""

import io
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

from PIL import Image

sys.dont_write_bytecode = True  # keep the source tree free of caches
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pngfile  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RESOURCES = os.path.join(ROOT, "resources")
SOURCE = os.path.join(RESOURCES, "artwork.svg")
DEFAULT_OUTPUT = os.path.join(RESOURCES, "artwork.png")

WIDTH, HEIGHT = 800, 493
CLEAR_COLUMNS = list(range(0, 5)) + list(range(794, 800))

# Inclusive pixel box that the address text's ink must fill exactly.
ADDRESS_BOX = (616, 473, 785, 485)
# The flat tab colour behind the address, and the area of the tab that holds
# nothing but the text (the globe icon lies to its left).
TAB_COLOUR = (255, 255, 255)
TAB_AREA = (612, 465, 793, 492)

# sRGB with perceptual intent, and gamma 1/2.2 as 45455 / 100000.
ANCILLARY = [(b"sRGB", bytes([0])), (b"gAMA", struct.pack(">I", 45455))]

MEASURE_ZOOM = 16
FIT_STEP = 0.05
FIT_ROUNDS = 40


def Render(svg_text, workdir, zoom=1.0):
    """Renders SVG text with rsvg-convert and returns a Pillow RGBA image.
    The SVG is written into workdir, which also holds the files it links."""
    path = os.path.join(workdir, "render.svg")
    with open(path, "w", encoding="utf-8") as f:
        f.write(svg_text)
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    png = subprocess.run(["rsvg-convert", "--zoom", repr(zoom), "--format", "png", path],
                         check=True, stdout=subprocess.PIPE, env=env).stdout
    return Image.open(io.BytesIO(png)).convert("RGBA")


def AddressElement(svg_text):
    """Returns the <text id="address"> element of the artwork source."""
    match = re.search(r'<text id="address".*?</text>', svg_text, re.S)
    if not match:
        raise SystemExit("artwork.svg: no <text id=\"address\"> element")
    return match.group(0)


def SetAddressTransform(svg_text, matrix):
    """Returns the source with the address group's transform replaced."""
    text = "matrix(%s)" % " ".join("%.6f" % v for v in matrix)
    result, count = re.subn(r'(<g id="address-fit" transform=")[^"]*(")',
                            lambda m: m.group(1) + text + m.group(2), svg_text)
    if count != 1:
        raise SystemExit("artwork.svg: expected one <g id=\"address-fit\" transform=...>")
    return result


def OutlineBox(element, workdir):
    """Measures the address text's ink at high resolution and returns its
    box (left, top, right, bottom) in artwork units, right/bottom exclusive."""
    x0, y0, w, h = 560, 440, 240, 53
    svg = ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
           'viewBox="%d %d %d %d">%s</svg>' % (w, h, x0, y0, w, h, element))
    image = Render(svg, workdir, MEASURE_ZOOM)
    box = image.getchannel("A").getbbox()
    if box is None:
        raise SystemExit("artwork.svg: the address text renders no ink")
    z = float(MEASURE_ZOOM)
    return (x0 + box[0] / z, y0 + box[1] / z, x0 + box[2] / z, y0 + box[3] / z)


def FitMatrix(outline, margins):
    """Returns the affine matrix mapping the outline box onto the address box
    shrunk by the given (left, top, right, bottom) margins in pixels."""
    left, top, right, bottom = ADDRESS_BOX
    tx0, ty0 = left + margins[0], top + margins[1]
    tx1, ty1 = right + 1 - margins[2], bottom + 1 - margins[3]
    kx = (tx1 - tx0) / (outline[2] - outline[0])
    ky = (ty1 - ty0) / (outline[3] - outline[1])
    return (kx, 0.0, 0.0, ky, tx0 - kx * outline[0], ty0 - ky * outline[1])


def InkBox(image):
    """Returns the inclusive box of pixels in the tab area that differ from
    the tab colour, or None if there are none."""
    left, top, right, bottom = TAB_AREA
    pixels = image.load()
    xs, ys = [], []
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if pixels[x, y][:3] != TAB_COLOUR:
                xs.append(x)
                ys.append(y)
    if not xs:
        return None
    return (min(xs), min(ys), max(xs), max(ys))


def Normalise(image):
    """Makes every pixel opaque except the cleared side columns."""
    alpha = image.getchannel("A")
    lo, _ = alpha.crop((5, 0, 794, HEIGHT)).getextrema()
    if lo != 255:
        raise SystemExit("artwork.svg: the picture does not cover the whole banner")
    pixels = image.load()
    for y in range(HEIGHT):
        for x in CLEAR_COLUMNS:
            pixels[x, y] = (0, 0, 0, 0)
    return image


def Build(source_text, workdir):
    """Renders and normalises the artwork with the address fitted."""
    element = AddressElement(source_text)
    outline = OutlineBox(element, workdir)
    margins = [0.3, 0.3, 0.3, 0.3]
    for renders in range(1, FIT_ROUNDS + 1):
        svg = SetAddressTransform(source_text, FitMatrix(outline, margins))
        image = Normalise(Render(svg, workdir))
        ink = InkBox(image)
        if ink == ADDRESS_BOX:
            return image, renders
        if ink is None:
            raise SystemExit("address text left no ink on the tab")
        # Pull in an edge whose ink spills over, push out one that falls short.
        for i, sign in enumerate((+1, +1, -1, -1)):
            overshoot = (ADDRESS_BOX[i] - ink[i]) * sign
            if overshoot > 0:
                margins[i] += FIT_STEP
            elif overshoot < 0:
                margins[i] -= FIT_STEP
    raise SystemExit("could not fit the address text into %s (last ink box %s)"
                     % (ADDRESS_BOX, ink))


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_OUTPUT
    with open(SOURCE, encoding="utf-8") as f:
        source_text = f.read()
    workdir = tempfile.mkdtemp(prefix="artwork-")
    try:
        for name in os.listdir(RESOURCES):
            if name.endswith(".svg"):
                shutil.copy(os.path.join(RESOURCES, name), workdir)
        image, renders = Build(source_text, workdir)
    finally:
        shutil.rmtree(workdir)
    with open(output, "wb") as f:
        f.write(pngfile.EncodeRgba(image, ANCILLARY))
    print("wrote %s (address text fitted after %d render%s)"
          % (output, renders, "" if renders == 1 else "s"))


if __name__ == "__main__":
    main()
