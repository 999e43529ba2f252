"""Small PNG helpers shared by the resource generators.

Pillow is used only to compress the image data; the chunks themselves are
written here, so that a file holds exactly the chunks we ask for.
"""

import io
import struct
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def Chunk(kind, data):
    """Returns one PNG chunk: length, type, data and CRC."""
    crc = zlib.crc32(kind + data) & 0xFFFFFFFF
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)


def ReadChunks(blob):
    """Returns the list of (type, data) chunks of a PNG file's bytes."""
    if blob[:8] != PNG_SIGNATURE:
        raise ValueError("not a PNG file")
    chunks = []
    pos = 8
    while pos < len(blob):
        (length,) = struct.unpack(">I", blob[pos:pos + 4])
        kind = blob[pos + 4:pos + 8]
        data = blob[pos + 8:pos + 8 + length]
        chunks.append((kind, data))
        pos += 12 + length
    return chunks


def EncodeRgba(image, ancillary=()):
    """Encodes a Pillow RGBA image as PNG bytes holding IHDR, the given
    ancillary (type, data) chunks, one IDAT and IEND -- nothing else."""
    if image.mode != "RGBA":
        raise ValueError("expected an RGBA image, got " + image.mode)
    buffer = io.BytesIO()
    image.save(buffer, format="PNG", compress_level=9)
    chunks = ReadChunks(buffer.getvalue())
    header = [data for kind, data in chunks if kind == b"IHDR"][0]
    # Concatenating the IDAT payloads gives the one zlib stream of the image.
    pixels = b"".join(data for kind, data in chunks if kind == b"IDAT")
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", header)
    if (width, height, depth, colour, interlace) != (image.width, image.height, 8, 6, 0):
        raise ValueError("unexpected PNG header from the encoder")
    out = [PNG_SIGNATURE, Chunk(b"IHDR", header)]
    out += [Chunk(kind, data) for kind, data in ancillary]
    out += [Chunk(b"IDAT", pixels), Chunk(b"IEND", b"")]
    return b"".join(out)
