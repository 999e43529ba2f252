#!/usr/bin/python3
"""Writes the seed corpora of the XSETTINGS and icon fuzzers into
tests/fuzz/corpus/ (the definition fuzzer's seed is ui/Unit1.toml, copied
there). Small, valid inputs of every kind each reader takes, so that the
fuzzers start from every path: XSETTINGS in both byte orders with integer,
string and colour settings; icons with BMP entries of 1, 4, 8, 24 and 32 bits
per pixel (with their masks), a PNG entry, and the program's own icon."""

import io
import os
import shutil
import struct

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
CORPUS = os.path.join(HERE, "corpus")


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def xsettings(big, settings, serial=7):
    order = ">" if big else "<"
    out = bytes([1 if big else 0, 0, 0, 0]) + struct.pack(order + "II", serial, len(settings))
    for kind, name, value in settings:
        name = name.encode()
        out += struct.pack(order + "BBH", kind, 0, len(name)) + pad4(name) + struct.pack(order + "I", 0)
        if kind == 0:
            out += struct.pack(order + "i", value)
        elif kind == 1:
            out += struct.pack(order + "I", len(value)) + pad4(value.encode())
        else:
            out += struct.pack(order + "HHHH", *value)
    return out


def bitmap_entry(width, height, bits, palette, colour_rows, mask_rows):
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, 0, 0, 0,
                         len(palette), 0)
    body = b"".join(struct.pack("<I", c) for c in palette)
    body += b"".join(reversed(colour_rows)) + b"".join(reversed(mask_rows))
    return header + body


def icon_file(entries):
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for width, data in entries:
        out += struct.pack("<BBBBHHII", width % 256, width % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in entries)


def png_entry(width):
    picture = Image.new("RGBA", (width, width), (200, 40, 40, 128))
    out = io.BytesIO()
    picture.save(out, "PNG")
    return out.getvalue()


def write(folder, name, data):
    os.makedirs(os.path.join(CORPUS, folder), exist_ok=True)
    with open(os.path.join(CORPUS, folder, name), "wb") as f:
        f.write(data)


def main():
    settings = [(1, "Net/ThemeName", "Adwaita"), (0, "Net/DoubleClickTime", 400),
                (2, "Gtk/Color", (1, 2, 3, 4)), (0, "Net/DoubleClickDistance", 5)]
    write("xsettings", "little-endian", xsettings(False, settings))
    write("xsettings", "big-endian", xsettings(True, settings))
    write("xsettings", "one-integer", xsettings(False, [(0, "Net/DoubleClickTime", 250)]))

    mask = [b"\x40\0\0\0", b"\0\0\0\0"]  # 2 x 2: the top-left pixel transparent
    write("icon", "bmp-1-bit.ico", icon_file([(2, bitmap_entry(
        2, 2, 1, [0x000000, 0xFFFFFF], [b"\x80\0\0\0", b"\x40\0\0\0"], mask))]))
    write("icon", "bmp-4-bit.ico", icon_file([(2, bitmap_entry(
        2, 2, 4, [0x000000, 0xFF0000, 0x00FF00, 0x0000FF], [b"\x12\0\0\0", b"\x30\0\0\0"], mask))]))
    write("icon", "bmp-8-bit.ico", icon_file([(2, bitmap_entry(
        2, 2, 8, [0x102030, 0x405060, 0x708090], [b"\x00\x01\0\0", b"\x02\x00\0\0"], mask))]))
    write("icon", "bmp-24-bit.ico", icon_file([(2, bitmap_entry(
        2, 2, 24, [], [b"\x01\x02\x03\x04\x05\x06\0\0", b"\x07\x08\x09\x0a\x0b\x0c\0\0"], mask))]))
    write("icon", "bmp-32-bit-alpha.ico", icon_file([(2, bitmap_entry(
        2, 2, 32, [], [b"\x01\x02\x03\x80\x04\x05\x06\xff", b"\x07\x08\x09\x00\x0a\x0b\x0c\x40"],
        mask))]))
    write("icon", "png-and-bmp.ico", icon_file([(4, png_entry(4)), (2, bitmap_entry(
        2, 2, 32, [], [b"\x01\x02\x03\x00\x04\x05\x06\x00", b"\x07\x08\x09\x00\x0a\x0b\x0c\x00"],
        mask))]))
    shutil.copy(os.path.join(ROOT, "resources", "avendrel.ico"),
                os.path.join(CORPUS, "icon", "program-icon.ico"))
    shutil.copy(os.path.join(ROOT, "ui", "Unit1.toml"),
                os.path.join(CORPUS, "definition", "real-definition.toml"))


if __name__ == "__main__":
    main()
