#!/usr/bin/env python3
"""Writes the small seed files of the image decoder's fuzz corpus.

Run from the repository's top folder: python3 tests/platform/gfx/image/image_make_fuzz_seeds.py
"""
import os
import struct

OUT = os.path.join("fuzz", "corpus", "image_decode")


def dds(width, height, depth, levels, pixel_format, caps2, texels):
    flags = 0x1 | 0x2 | 0x4 | 0x1000 | (0x20000 if levels > 1 else 0) | (0x800000 if depth else 0)
    header = struct.pack("<4s7I44x", b"DDS ", 124, flags, height, width, 0, depth, levels)
    header += struct.pack("<8I", 32, *pixel_format)
    header += struct.pack("<5I", 0x1000 | (0x400008 if levels > 1 else 0), caps2, 0, 0, 0)
    assert len(header) == 128
    return header + bytes((i * 37 + 11) & 0xFF for i in range(texels))


ARGB = (0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)
L8 = (0x20000, 0, 8, 0xFF, 0, 0, 0)
DXT1 = (0x4, 0x31545844, 0, 0, 0, 0, 0)
DX10 = (0x4, 0x30315844, 0, 0, 0, 0, 0)
R32F = (0x4, 114, 0, 0, 0, 0, 0)


def tga(width, height, bits, rle, top_down):
    header = struct.pack("<BBB5xHHHHBB", 0, 0, 10 if rle else 2, 0, 0, width, height, bits,
                         (8 if bits == 32 else 0) | (0x20 if top_down else 0))
    size = bits // 8
    texel = bytes(range(10, 10 + size))
    if not rle:
        return header + bytes((i * 13) & 0xFF for i in range(width * height * size))
    count = width * height
    body = b""
    while count > 0:
        run = min(count, 5)
        body += bytes([0x80 | (run - 1)]) + texel  # a repeat packet
        count -= run
        if count > 0:
            raw = min(count, 3)
            body += bytes([raw - 1]) + texel * raw  # a raw packet
            count -= raw
    return header + body


def bmp(width, height, bits, top_down, bitfields=False):
    info_size = 40
    masks = struct.pack("<3I", 0xFF0000, 0xFF00, 0xFF) if bitfields else b""
    offset = 14 + info_size + len(masks)
    row = (width * bits // 8 + 3) & ~3
    info = struct.pack("<IiiHHIIiiII", info_size, width, -height if top_down else height, 1, bits,
                       3 if bitfields else 0, row * height, 2835, 2835, 0, 0)
    texels = bytes((i * 29 + 3) & 0xFF for i in range(row * height))
    return struct.pack("<2sIHHI", b"BM", offset + len(texels), 0, 0, offset) + info + masks + texels


SEEDS = {
    "argb_mips_8x4.dds": dds(8, 4, 0, 4, ARGB, 0, 4 * (32 + 8 + 2 + 1)),
    "dxt1_mips_8x8.dds": dds(8, 8, 0, 4, DXT1, 0, 8 * (4 + 1 + 1 + 1)),
    "cube_l8_2x2.dds": dds(2, 2, 0, 2, L8, 0x200 | 0xFC00, 6 * (4 + 1)),
    "volume_l8_4x2x2.dds": dds(4, 2, 2, 2, L8, 0x200000, 16 + 2),
    "r32f_2x2.dds": dds(2, 2, 0, 1, R32F, 0, 16),
    "dx10_refused.dds": dds(2, 2, 0, 1, DX10, 0, 16),
    "raw24_4x3.tga": tga(4, 3, 24, False, False),
    "rle32_7x5.tga": tga(7, 5, 32, True, True),
    "bottom_up24_5x3.bmp": bmp(5, 3, 24, False),
    "top_down32_3x2.bmp": bmp(3, 2, 32, True),
    "bitfields32_2x2.bmp": bmp(2, 2, 32, False, True),
}

os.makedirs(OUT, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
