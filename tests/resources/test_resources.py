#!/usr/bin/python3
"""Checks the committed application resources: the artwork PNG, the icon,
the manifest and the resource script.

Reads the files as they are in resources/; it never regenerates them.
Exits non-zero if any check fails.
"""

import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
import zlib

from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RESOURCES = os.path.join(ROOT, "resources")
ARTWORK = os.path.join(RESOURCES, "artwork.png")
ICON = os.path.join(RESOURCES, "avendrel.ico")
MANIFEST = os.path.join(RESOURCES, "avendrel.manifest")
SCRIPT = os.path.join(RESOURCES, "avendrel.rc")

WIDTH, HEIGHT = 800, 493
CLEAR_COLUMNS = list(range(0, 5)) + list(range(794, 800))

# Drawn extents of the two click targets, inclusive (left, top, right, bottom).
BUTTON_EXTENT = (435, 310, 779, 389)
ADDRESS_EXTENT = (616, 473, 785, 485)
# The address sits on a flat white tab; this part of it holds only the text.
ADDRESS_TAB = (612, 465, 793, 492)
# The home-page hotspot over the address, in artwork coordinates, and the part
# of the tab left of the text that holds the globe (the tab's left edge is
# straight from y 476 down; above, its rounded corner meets the sky).
HOME_HOTSPOT = (602, 463, 794, 485)
GLOBE_TAB = (591, 476, 611, 492)
TAB_WHITE = (255, 255, 255)


def ReadPngChunks(blob):
    """Returns [(type, data)] of a PNG file, checking signature and CRCs."""
    if blob[:8] != b"\x89PNG\r\n\x1a\n":
        raise AssertionError("bad PNG signature")
    chunks = []
    pos = 8
    while pos < len(blob):
        if pos + 12 > len(blob):
            raise AssertionError("truncated chunk at offset %d" % pos)
        (length,) = struct.unpack(">I", blob[pos:pos + 4])
        kind = blob[pos + 4:pos + 8]
        data = blob[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", blob[pos + 8 + length:pos + 12 + length])
        if crc != zlib.crc32(kind + data) & 0xFFFFFFFF:
            raise AssertionError("bad CRC in %r chunk" % kind)
        chunks.append((kind, data))
        pos += 12 + length
    return chunks


def IsButtonGreen(pixel):
    """The button is drawn in greens only: green clearly above red and blue.
    The sky around it is blue, its shadow dark blue, its text white."""
    r, g, b = pixel[:3]
    return g >= r + 40 and g >= b + 40


def BoundingBox(points):
    xs = [x for x, _ in points]
    ys = [y for _, y in points]
    return (min(xs), min(ys), max(xs), max(ys))


class ArtworkFileTest(unittest.TestCase):
    """The PNG's structure: chunks, header and colour information."""

    @classmethod
    def setUpClass(cls):
        with open(ARTWORK, "rb") as f:
            cls.chunks = ReadPngChunks(f.read())

    def test_chunks_are_exactly_header_colour_info_data_end(self):
        kinds = [kind for kind, _ in self.chunks]
        # IDAT may be split over consecutive chunks; nothing else may appear.
        collapsed = [k for i, k in enumerate(kinds) if i == 0 or k != kinds[i - 1] or k != b"IDAT"]
        self.assertEqual(collapsed, [b"IHDR", b"sRGB", b"gAMA", b"IDAT", b"IEND"])
        self.assertEqual(self.chunks[-1][1], b"")

    def test_header_is_800x493_rgba8_not_interlaced(self):
        header = self.chunks[0][1]
        self.assertEqual(len(header), 13)
        width, height, depth, colour, compression, filtering, interlace = \
            struct.unpack(">IIBBBBB", header)
        self.assertEqual((width, height), (WIDTH, HEIGHT))
        self.assertEqual((depth, colour), (8, 6))
        self.assertEqual((compression, filtering, interlace), (0, 0, 0))

    def test_colour_information(self):
        chunks = dict(self.chunks)
        self.assertEqual(chunks[b"sRGB"], bytes([0]), "sRGB rendering intent must be perceptual")
        self.assertEqual(chunks[b"gAMA"], struct.pack(">I", 45455))


class ArtworkPixelsTest(unittest.TestCase):
    """The decoded picture: transparency and the two click targets."""

    @classmethod
    def setUpClass(cls):
        with Image.open(ARTWORK) as image:
            cls.mode = image.mode
            cls.size = image.size
            cls.image = image.convert("RGBA")
        cls.pixels = cls.image.load()

    def test_decodes_as_800x493_rgba(self):
        self.assertEqual(self.mode, "RGBA")
        self.assertEqual(self.size, (WIDTH, HEIGHT))

    def test_alpha_is_only_0_or_255(self):
        histogram = self.image.getchannel("A").histogram()
        used = [value for value, count in enumerate(histogram) if count]
        self.assertTrue(set(used) <= {0, 255}, "alpha values used: %s" % used)

    def test_side_columns_transparent_and_everything_else_opaque(self):
        wrong = []
        for y in range(HEIGHT):
            for x in range(WIDTH):
                expected = 0 if x in CLEAR_COLUMNS else 255
                if self.pixels[x, y][3] != expected:
                    wrong.append((x, y))
        self.assertEqual(wrong[:10], [], "%d pixels with the wrong alpha" % len(wrong))

    def test_button_pixels_bound_exactly_its_extent(self):
        left, top, right, bottom = BUTTON_EXTENT
        # Flood the green region from a point on the button's left edge.
        seed = (left + 1, (top + bottom) // 2)
        self.assertTrue(IsButtonGreen(self.pixels[seed]), "button is not green at %s" % (seed,))
        seen = {seed}
        todo = [seed]
        while todo:
            x, y = todo.pop()
            for n in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
                if n not in seen and 0 <= n[0] < WIDTH and 0 <= n[1] < HEIGHT \
                        and IsButtonGreen(self.pixels[n]):
                    seen.add(n)
                    todo.append(n)
        self.assertEqual(BoundingBox(seen), BUTTON_EXTENT)
        # Its straight edges are solid green: every pixel of the outer rows and
        # columns, away from the rounded corners, belongs to the button.
        for x in range(left + 16, right - 15):
            self.assertIn((x, top), seen)
            self.assertIn((x, bottom), seen)
        for y in range(top + 16, bottom - 15):
            self.assertIn((left, y), seen)
            self.assertIn((right, y), seen)
        # Nothing green touches it from outside within a margin of 10 pixels.
        stray = [(x, y)
                 for y in range(top - 10, bottom + 11)
                 for x in range(left - 10, right + 11)
                 if not (left <= x <= right and top <= y <= bottom)
                 and IsButtonGreen(self.pixels[x, y])]
        self.assertEqual(stray[:10], [], "green pixels around the button")

    def test_address_ink_lies_inside_its_extent_and_touches_every_edge(self):
        left, top, right, bottom = ADDRESS_TAB
        # The tab is plain white, so ink is any pixel that is not.
        ink = [(x, y)
               for y in range(top, bottom + 1)
               for x in range(left, right + 1)
               if self.pixels[x, y][:3] != TAB_WHITE]
        self.assertTrue(ink, "no address text on the tab")
        self.assertEqual(BoundingBox(ink), ADDRESS_EXTENT)
        # The text is dark on white: its core is clearly ink, not a faint haze.
        darkest = min(sum(self.pixels[p][:3]) for p in ink)
        self.assertLess(darkest, 3 * 128)

    def test_globe_before_the_address_lies_inside_the_home_page_hotspot(self):
        left, top, right, bottom = GLOBE_TAB
        ink = [(x, y)
               for y in range(top, bottom + 1)
               for x in range(left, right + 1)
               if self.pixels[x, y][:3] != TAB_WHITE]
        self.assertTrue(ink, "no globe left of the address")
        h_left, h_top, h_right, h_bottom = HOME_HOTSPOT
        outside = [p for p in ink
                   if not (h_left <= p[0] <= h_right and h_top <= p[1] <= h_bottom)]
        self.assertEqual(outside[:10], [], "globe pixels outside the home-page hotspot")


class IconTest(unittest.TestCase):
    """The icon group: seven images of the expected sizes and formats."""

    EXPECTED = sorted([(48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (16, 32), (256, 32)])

    @classmethod
    def setUpClass(cls):
        with open(ICON, "rb") as f:
            cls.blob = f.read()
        reserved, kind, count = struct.unpack("<HHH", cls.blob[:6])
        cls.header = (reserved, kind, count)
        cls.entries = []
        for i in range(count):
            raw = cls.blob[6 + 16 * i:22 + 16 * i]
            w, h, colours, res, planes, bits, length, offset = struct.unpack("<BBBBHHII", raw)
            cls.entries.append({
                "size": (w or 256, h or 256), "colours": colours, "reserved": res,
                "planes": planes, "bits": bits,
                "data": cls.blob[offset:offset + length], "span": (offset, offset + length),
            })

    def test_directory_lists_the_seven_images(self):
        self.assertEqual(self.header, (0, 1, 7))
        found = sorted((e["size"][0], e["bits"]) for e in self.entries)
        self.assertEqual(found, self.EXPECTED)
        for e in self.entries:
            self.assertEqual(e["size"][0], e["size"][1])
            self.assertEqual((e["colours"], e["reserved"], e["planes"]), (0, 0, 1))

    def test_images_lie_inside_the_file_without_overlap(self):
        spans = sorted(e["span"] for e in self.entries)
        self.assertGreaterEqual(spans[0][0], 6 + 16 * len(self.entries))
        for (_, end), (start, _) in zip(spans, spans[1:]):
            self.assertLessEqual(end, start)
        self.assertLessEqual(spans[-1][1], len(self.blob))
        for e in self.entries:
            self.assertEqual(len(e["data"]), e["span"][1] - e["span"][0])

    def test_256_image_is_a_png(self):
        (entry,) = [e for e in self.entries if e["size"] == (256, 256)]
        chunks = ReadPngChunks(entry["data"])
        width, height, depth, colour = struct.unpack(">IIBB", chunks[0][1][:10])
        self.assertEqual((width, height, depth, colour), (256, 256, 8, 6))
        image = Image.open(io.BytesIO(entry["data"])).convert("RGBA")
        alpha = image.getchannel("A").getextrema()
        self.assertEqual(alpha, (0, 255), "rounded corners should be transparent")

    def test_bitmap_images_have_headers_palettes_and_masks(self):
        for e in self.entries:
            size, bits = e["size"][0], e["bits"]
            if size == 256:
                continue
            with self.subTest(size=size, bits=bits):
                data = e["data"]
                (header_size, width, height, planes, bit_count, compression, _, _, _,
                 used, _) = struct.unpack("<IiiHHIIiiII", data[:40])
                self.assertEqual(header_size, 40)
                self.assertEqual((width, height), (size, 2 * size), "height counts the mask")
                self.assertEqual((planes, bit_count, compression), (1, bits, 0))
                palette = 256 if bits == 8 else 0
                if bits == 8:
                    self.assertIn(used, (0, 256))
                else:
                    self.assertEqual(used, 0)
                colour_bytes = ((size * bits + 31) // 32) * 4 * size
                mask_row = ((size + 31) // 32) * 4
                self.assertEqual(len(data), 40 + 4 * palette + colour_bytes + mask_row * size)
                mask = data[40 + 4 * palette + colour_bytes:]
                # Bottom row first; the rounded corners are masked out, the
                # centre of the tile is not.
                corner_bit = mask[0] & 0x80
                centre_row = mask[(size // 2) * mask_row:(size // 2 + 1) * mask_row]
                centre_bit = centre_row[(size // 2) // 8] & (0x80 >> ((size // 2) % 8))
                self.assertTrue(corner_bit, "corner pixel should be transparent")
                self.assertFalse(centre_bit, "centre pixel should be opaque")
                if bits == 8:
                    table = data[40:40 + 1024]
                    colours = {table[i:i + 3] for i in range(0, 1024, 4)}
                    self.assertGreater(len(colours), 16, "palette holds too few colours")
                else:
                    alphas = {data[40 + i + 3] for i in range(0, colour_bytes, 4)}
                    self.assertIn(0, alphas)
                    self.assertIn(255, alphas)

    def test_every_image_shows_a_blue_tile(self):
        # Pillow decodes each size; the pixel just inside the left edge at half
        # height is the tile's blue in every image.
        for size in (16, 32, 48, 256):
            with self.subTest(size=size), Image.open(ICON) as icon:
                icon.size = (size, size)
                image = icon.convert("RGBA")
                r, g, b, a = image.getpixel((1, size // 2))
                self.assertEqual(a, 255)
                self.assertGreater(b, r + 60)
                self.assertGreater(b, g)


class ManifestTest(unittest.TestCase):
    NS = "{urn:schemas-microsoft-com:asm.v1}"

    @classmethod
    def setUpClass(cls):
        cls.root = ElementTree.parse(MANIFEST).getroot()

    def test_runs_as_invoker_without_ui_access(self):
        levels = [e for e in self.root.iter() if e.tag.endswith("}requestedExecutionLevel")]
        self.assertEqual(len(levels), 1)
        self.assertEqual(levels[0].attrib, {"level": "asInvoker", "uiAccess": "false"})

    def test_depends_on_common_controls_6(self):
        identities = [e.attrib for e in self.root.iter(self.NS + "assemblyIdentity")
                      if e.attrib.get("name") == "Microsoft.Windows.Common-Controls"]
        self.assertEqual(identities, [{
            "type": "win32", "name": "Microsoft.Windows.Common-Controls",
            "version": "6.0.0.0", "processorArchitecture": "*",
            "publicKeyToken": "6595b64144ccf1df", "language": "*"}])

    def test_declares_no_screen_resolution_awareness(self):
        tags = [e.tag.split("}")[-1].lower() for e in self.root.iter()]
        self.assertNotIn("dpiaware", tags)
        self.assertNotIn("dpiawareness", tags)


class ResourceScriptTest(unittest.TestCase):
    """The resource script compiles with both cross toolchains and holds the
    icon group, the version block and the manifest."""

    def Compile(self, tool):
        # The test command installs both cross toolchains: a missing one fails.
        self.assertIsNotNone(shutil.which(tool), tool + " is not installed")
        with tempfile.TemporaryDirectory() as work:
            res = os.path.join(work, "avendrel.res")
            subprocess.run([tool, SCRIPT, "-O", "coff", "-o", res], check=True, timeout=60,
                           cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            # Decompiling the result shows what the executable would carry.
            listing = subprocess.run([tool, "-J", "coff", "-i", res, "-O", "rc"], check=True, timeout=60,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE).stdout
        return listing.decode("latin-1")

    def test_compiles_and_holds_icon_version_and_manifest(self):
        for tool in ("i686-w64-mingw32-windres", "x86_64-w64-mingw32-windres"):
            with self.subTest(tool=tool):
                listing = self.Compile(tool)
                self.assertIn('"MAINICON" 14 /* RT_GROUP_ICON */', listing)
                self.assertIn("0, 1, 7,", listing, "the group lists seven icons")
                self.assertEqual(listing.count("/* RT_GROUP_ICON */"), 1)
                self.assertIn("FILEVERSION 1, 0, 0, 0", listing)
                self.assertIn("PRODUCTVERSION 1, 0, 0, 0", listing)
                self.assertIn("FILEOS 0x4", listing)
                self.assertIn("FILETYPE 0x1", listing)
                self.assertIn('BLOCK "040904E4"', listing)
                self.assertIn('VALUE "FileVersion", "1.0.0.0"', listing)
                self.assertIn('VALUE "ProductVersion", "1.0.0.0"', listing)
                self.assertIn('VALUE "Translation", 0x409, 1252', listing)
                self.assertEqual(listing.count('VALUE "'), 3, "two strings and one translation")
                self.assertIn("1 24 /* RT_MANIFEST */", listing)
                self.assertIn('level=""asInvoker""', listing)


if __name__ == "__main__":
    program = unittest.main(exit=False, verbosity=2)
    # A skipped test checked nothing: the run fails.
    sys.exit(0 if program.result.wasSuccessful() and not program.result.skipped else 1)
