#!/usr/bin/env python3
"""Converts a 24-bit uncompressed BMP file to PNG, using only the standard library."""
import struct
import sys
import zlib


def bmp_to_png(src, dst):
    data = open(src, "rb").read()
    width, height = struct.unpack_from("<ii", data, 18)
    offset = struct.unpack_from("<I", data, 10)[0]
    rows = abs(height)
    stride = (3 * width + 3) // 4 * 4
    if len(data) - offset < stride * rows:
        stride = 3 * width
    raw = bytearray()
    order = range(rows - 1, -1, -1) if height > 0 else range(rows)
    for r in order:
        row = data[offset + r * stride: offset + r * stride + 3 * width]
        raw.append(0)
        for c in range(width):
            b, g, red = row[3 * c: 3 * c + 3]
            raw += bytes((red, g, b))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, rows, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    open(dst, "wb").write(png)


if __name__ == "__main__":
    bmp_to_png(sys.argv[1], sys.argv[2])
