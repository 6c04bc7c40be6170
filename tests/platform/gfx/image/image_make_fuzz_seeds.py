#!/usr/bin/env python3
"""Writes the seed files of the image decoder's fuzz corpus: one or more
of every kind of texture file the loader reads, and a few it refuses (named
"refused"), all small but for one JPEG of mostly zero bytes.

Run from the repository's top folder: python3 tests/platform/gfx/image/image_make_fuzz_seeds.py
The JPEG seeds need cjpeg (Debian package libjpeg-turbo-progs).
"""
import os
import struct
import subprocess
import tempfile
import zlib

OUT = os.path.join("fuzz", "corpus", "image_decode")


def dds(width, height, depth, levels, pixel_format, caps2, texels, mip_count=None):
    flags = 0x1 | 0x2 | 0x4 | 0x1000 | (0x20000 if levels > 1 else 0) | (0x800000 if depth else 0)
    count = levels if mip_count is None else mip_count
    header = struct.pack("<4s7I44x", b"DDS ", 124, flags, height, width, 0, depth, count)
    header += struct.pack("<8I", 32, *pixel_format)
    header += struct.pack("<5I", 0x1000 | (0x400008 if levels > 1 else 0), caps2, 0, 0, 0)
    assert len(header) == 128
    return header + bytes((i * 37 + 11) & 0xFF for i in range(texels))


def fourcc(text):
    return struct.unpack("<I", text.encode())[0]


ARGB = (0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)
L8 = (0x20000, 0, 8, 0xFF, 0, 0, 0)
L8_AS_RGB = (0x40, 0, 8, 0xFF, 0, 0, 0)
A8_AS_ALPHA_PIXELS = (0x1, 0, 8, 0, 0, 0, 0xFF)
BGR565 = (0x40, 0, 16, 0x1F, 0x7E0, 0xF800, 0)
DXT1 = (0x4, fourcc("DXT1"), 0, 0, 0, 0, 0)
DXT5 = (0x4, fourcc("DXT5"), 0, 0, 0, 0, 0)
ATI2 = (0x4, fourcc("ATI2"), 0, 0, 0, 0, 0)
DX10 = (0x4, fourcc("DX10"), 0, 0, 0, 0, 0)
R32F = (0x4, 114, 0, 0, 0, 0, 0)
NUMBERED_ARGB = (0x4, 21, 0, 0, 0, 0, 0)
G16R16 = (0x40, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0)
V8U8 = (0x80000, 0, 16, 0xFF, 0xFF00, 0, 0)


def tga(width, height, bits, image_type, rle, descriptor, texel_bytes, colour_map=b"", map_bits=0, map_first=0):
    entries = len(colour_map) // ((map_bits + 7) // 8) if colour_map else 0
    header = struct.pack("<BBBHHBHHHHBB", 0, 1 if colour_map else 0, image_type + (8 if rle else 0), map_first,
                         entries, map_bits, 0, 0, width, height, bits, descriptor)
    size = (bits + 7) // 8
    texels = [texel_bytes(i) for i in range(width * height)]
    if not rle:
        return header + colour_map + b"".join(texels)
    body = b""
    i = 0
    while i < len(texels):
        run = 1
        while i + run < len(texels) and run < 128 and texels[i + run] == texels[i]:
            run += 1
        if run > 1:
            body += bytes([0x80 | (run - 1)]) + texels[i]
        else:
            body += bytes([0]) + texels[i]
        i += run
    assert all(len(t) == size for t in texels)
    return header + colour_map + body


def bmp(width, height, bits, top_down=False, compression=0, masks=(), table=b"", info_size=40, dib=False,
        rows=None):
    row = (width * bits + 31) // 32 * 4
    if rows is None:
        rows = bytes((i * 29 + 3) & 0xFF for i in range(row * height))
    if info_size == 12:
        info = struct.pack("<IHHHH", 12, width, height, 1, bits)
    else:
        info = struct.pack("<IiiHHIIiiII", info_size, width, -height if top_down else height, 1, bits,
                           compression, len(rows), 2835, 2835, len(table) // 4 if table and bits <= 8 else 0, 0)
        if info_size > 40:
            info += struct.pack("<4I", *(list(masks) + [0, 0, 0, 0])[:4])
            info += bytes(info_size - len(info))
        elif masks:
            info += struct.pack("<%dI" % len(masks), *masks)
    offset = (0 if dib else 14) + len(info) + len(table)
    head = b"" if dib else struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return head + info + table + rows


def rle8(width, height):
    body = b""
    for y in range(height):
        body += bytes([width, y * 3 % 16])
        body += bytes([0, 0]) if y + 1 < height else bytes([0, 1])
    return body


def rle4(width, height):
    body = b""
    for y in range(height):
        body += bytes([0, 2, 1, 0])  # a jump: the first texel of each row keeps index 0
        body += bytes([width - 1, 0x12])
        body += bytes([0, 0]) if y + 1 < height else bytes([0, 1])
    return body


def png(width, height, colour_type, depth, samples, palette=b"", transparency=b"", interlaced=False):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]

    def rows(x0, y0, dx, dy):  # one (sub)image, each row after its filter byte (none)
        out = b""
        for y in range(y0, height, dy):
            values = [samples(x, y, c) for x in range(x0, width, dx) for c in range(channels)]
            if not values:
                break
            if depth == 16:
                out += b"\0" + b"".join(struct.pack(">H", v) for v in values)
                continue
            bits = "".join(format(v, "0%db" % depth) for v in values)
            bits += "0" * (-len(bits) % 8)
            out += b"\0" + bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
        return out
    passes = ((0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2))
    raw = b"".join(rows(*p) for p in (passes if interlaced else [(0, 0, 1, 1)]))
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0,
                                                                  1 if interlaced else 0))
    if palette:
        out += chunk(b"PLTE", palette)
    if transparency:
        out += chunk(b"tRNS", transparency)
    return out + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def jpeg(width, height, channels, sample, progressive):
    # Written by libjpeg's cjpeg from a PGM or PPM of the samples (green alone for grey).
    head = b"P%d\n%d %d\n255\n" % (5 if channels == 1 else 6, width, height)
    texels = bytes(v for y in range(height) for x in range(width)
                   for v in (sample(x, y)[1:2] if channels == 1 else sample(x, y)))
    args = ["cjpeg", "-quality", "100", "-sample", "1x1"] + (["-progressive"] if progressive else [])
    return subprocess.run(args, input=head + texels, stdout=subprocess.PIPE, check=True).stdout


def patched_jpeg(sample, marker, skip, patch):
    # An 8 x 8 grey JPEG with `patch` written `skip` bytes into its first `marker`.
    data = bytearray(jpeg(8, 8, 1, sample, False))
    at = data.index(marker) + skip
    data[at:at + len(patch)] = patch
    return bytes(data)


def without_tables(data):
    # A JPEG with its Huffman table segments taken out: its scans fall back on
    # the standard tables, which cjpeg's own are.
    data = bytearray(data)
    while b"\xff\xc4" in data:
        at = data.index(b"\xff\xc4")
        del data[at:at + 2 + struct.unpack(">H", data[at + 2:at + 4])[0]]
    return bytes(data)


def scanned_jpeg(width, height, refined, empty=0):
    # A progressive grey JPEG of the DC scan and a scan for each AC
    # coefficient, the first `refined` of them in two steps of precision
    # (64 + `refined` scans), then `empty` DC scans holding no coded data.
    script = ["0: 0 0 0 0;"]
    for k in range(1, 64):
        script += ["0: %d %d 0 1;" % (k, k), "0: %d %d 1 0;" % (k, k)] if k <= refined else ["0: %d %d 0 0;" % (k, k)]
    with tempfile.NamedTemporaryFile("w", suffix=".txt") as f:
        f.write("\n".join(script) + "\n")
        f.flush()
        head = b"P5\n%d %d\n255\n" % (width, height)
        texels = bytes((x * 16 + y) % 256 for y in range(height) for x in range(width))
        data = subprocess.run(["cjpeg", "-quality", "90", "-scans", f.name], input=head + texels,
                              stdout=subprocess.PIPE, check=True).stdout
    return data[:-2] + b"\xff\xda\x00\x08\x01\x01\x00\x00\x00\x00" * empty + data[-2:]


def dc_scan_jpeg(side, components, sampling=0x11):
    # A progressive JPEG whose one scan, the DC of its first component, takes a
    # bit a block (its only code, one bit long, says 0): the fewest bytes its
    # sides may come in.
    def segment(marker, body):
        return bytes([0xFF, marker]) + struct.pack(">H", len(body) + 2) + body
    frame = struct.pack(">BHHB", 8, side, side, components) + b"".join(bytes([c + 1, 0x11, 0]) for c in range(components))
    frame = frame[:7] + bytes([sampling]) + frame[8:]
    return (b"\xff\xd8" + segment(0xDB, b"\x00" + bytes([1] * 64)) + segment(0xC2, frame) +
            segment(0xC4, b"\x00" + bytes([1] + [0] * 15) + b"\x00") + segment(0xDA, b"\x01\x01\x00\x00\x00\x00") +
            bytes((side // 8) ** 2 // 8) + b"\xff\xd9")


def again_first_scan(data, times):
    # The JPEG with its first scan (its tables and coded data) repeated at its
    # end: the DC coefficients given again, no error, one scan more each time.
    first = data.index(b"\xff\xc4")
    second = data.index(b"\xff\xc4", data.index(b"\xff\xda", first))
    return data[:-2] + data[first:second] * times + data[-2:]


def huge(data, at, fmt, *sides):
    # `data` with its sides, packed as `fmt`, written at `at`: far more texels
    # than its bytes hold.
    data = bytearray(data)
    struct.pack_into(fmt, data, at, *sides)
    return bytes(data)


def hdr(width, height, rle):
    header = b"#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y %d +X %d\n" % (height, width)
    body = b""
    for y in range(height):
        texels = [bytes([x * 9 & 0xFF, y * 40 & 0xFF, 200, 128 + x % 3]) for x in range(width)]
        if not rle:
            body += b"".join(texels)
            continue
        body += bytes([2, 2, width >> 8, width & 0xFF])
        for c in range(4):
            values = bytes(t[c] for t in texels)
            body += bytes([128 + 2, values[0]]) + bytes([len(values) - 2]) + values[2:]
    return header + body


def pnm(kind, width, height, maximum):
    text = kind in "123"
    channels = 3 if kind in "36" else 1
    head = b"P%s\n# seed\n%d %d\n" % (kind.encode(), width, height)
    if kind not in "14":
        head += b"%d\n" % maximum
    values = [(i * 53) % (maximum + 1) for i in range(width * height * channels)]
    if kind in "14":
        values = [i % 2 for i in range(width * height)]
    if text:
        return head + b" ".join(b"%d" % v for v in values) + b"\n"
    if kind == "4":
        row = (width + 7) // 8
        return head + bytes((i * 77) & 0xFF for i in range(row * height))
    if maximum > 255:
        return head + b"".join(struct.pack(">H", v) for v in values)
    return head + bytes(values)


def pfm(width, height, channels, little):
    head = b"%s\n%d %d\n%s\n" % (b"PF" if channels == 3 else b"Pf", width, height, b"-1.0" if little else b"1.0")
    return head + b"".join(struct.pack("<f" if little else ">f", i * 0.25 - 3) for i in range(width * height * channels))


def mapped_tga():
    colour_map = b"".join(bytes([i * 30, 255 - i * 20, 100, 255]) for i in range(8))
    return tga(5, 4, 8, 1, True, 0x28, lambda i: bytes([2 + i % 6]), colour_map, 32, 2)


SEEDS = {
    "argb_mips_8x4.dds": dds(8, 4, 0, 4, ARGB, 0, 4 * (32 + 8 + 2 + 1)),
    "dxt1_mips_8x8.dds": dds(8, 8, 0, 4, DXT1, 0, 8 * (4 + 1 + 1 + 1)),
    "cube_l8_2x2.dds": dds(2, 2, 0, 2, L8, 0x200 | 0xFC00, 6 * (4 + 1)),
    "volume_l8_4x2x2.dds": dds(4, 2, 2, 2, L8, 0x200000, 16 + 2),
    "r32f_2x2.dds": dds(2, 2, 0, 1, R32F, 0, 16),
    "dx10_refused.dds": dds(2, 2, 0, 1, DX10, 0, 16),
    "partial_cube_dxt5_4x4.dds": dds(4, 4, 0, 3, DXT5, 0x200 | 0x400 | 0x2000, 2 * 3 * 16),
    "ati2_refused.dds": dds(4, 4, 0, 1, ATI2, 0, 16),
    "bgr565_refused.dds": dds(2, 2, 0, 1, BGR565, 0, 8),
    "numbered_argb_3x2.dds": dds(3, 2, 0, 1, NUMBERED_ARGB, 0, 24),
    "a8_alpha_pixels_4x4.dds": dds(4, 4, 0, 1, A8_AS_ALPHA_PIXELS, 0, 16),
    "l8_as_rgb_mip_count_9.dds": dds(4, 4, 0, 3, L8_AS_RGB, 0, 16 + 4 + 1, mip_count=9),
    "dxt1_2x2.dds": dds(2, 2, 0, 2, DXT1, 0, 16),
    "dxt5_16x2.dds": dds(16, 2, 0, 1, DXT5, 0, 64),
    "dxt1_3x5.dds": dds(3, 5, 0, 1, DXT1, 0, 16),
    "g16r16_volume_3x3x3.dds": dds(3, 3, 3, 1, G16R16, 0x200000, 27 * 4),
    "v8u8_5x3.dds": dds(5, 3, 0, 1, V8U8, 0, 30),
    "raw24_4x3.tga": tga(4, 3, 24, 2, False, 0, lambda i: bytes([i * 13 & 0xFF, 20, 30])),
    "rle32_7x5.tga": tga(7, 5, 32, 2, True, 0x28, lambda i: bytes([10, 11, 12, 13]) if i % 4 else bytes([i, 1, 2, 3])),
    "grey_rle_6x4.tga": tga(6, 4, 8, 3, True, 0x20, lambda i: bytes([i // 3 * 30])),
    "grey_alpha_3x3.tga": tga(3, 3, 16, 3, False, 0x08, lambda i: bytes([i * 20, 255 - i])),
    "argb1555_rle_5x3.tga": tga(5, 3, 16, 2, True, 0x11, lambda i: struct.pack("<H", (0x8000 | i * 1000) if i % 2 else 0x7C1F)),
    "mapped_rle_5x4.tga": mapped_tga(),
    "bottom_up24_5x3.bmp": bmp(5, 3, 24),
    "top_down32_3x2.bmp": bmp(3, 2, 32, top_down=True),
    "bitfields32_2x2.bmp": bmp(2, 2, 32, compression=3, masks=(0xFF0000, 0xFF00, 0xFF)),
    "palette1_9x2.bmp": bmp(9, 2, 1, table=b"\0\0\0\0\xff\xff\xff\0"),
    "palette4_5x3_core.bmp": bmp(5, 3, 4, info_size=12, table=b"".join(bytes([i * 16, 0, 255 - i * 16]) for i in range(16))),
    "palette8_4x4.bmp": bmp(4, 4, 8, table=b"".join(bytes([i, i, i, 0]) for i in range(16)),
                            rows=bytes(i % 16 for i in range(16))),
    "rle8_6x3.bmp": bmp(6, 3, 8, compression=1, table=b"".join(bytes([i * 15, 0, 0, 0]) for i in range(16)), rows=rle8(6, 3)),
    "rle4_7x2.bmp": bmp(7, 2, 4, compression=2, table=b"".join(bytes([0, i * 15, 0, 0]) for i in range(16)), rows=rle4(7, 2)),
    "r5g6b5_3x2_v5.bmp": bmp(3, 2, 16, compression=3, masks=(0xF800, 0x7E0, 0x1F, 0), info_size=124),
    "x1r5g5b5_2x2.bmp": bmp(2, 2, 16),
    "alpha_masks_2x2.bmp": bmp(2, 2, 32, compression=6, masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
    "odd_masks_2x2.bmp": bmp(2, 2, 32, compression=3, masks=(0xFFE00000, 0x1FFC00, 0x3FF)),
    "headerless_8bit_3x3.dib": bmp(3, 3, 8, table=b"".join(bytes([i * 60, 30, 90, 0]) for i in range(4)), dib=True,
                                   rows=bytes([0, 1, 2, 0, 3, 2, 1, 0, 1, 2, 3, 0])),
    "headerless_24bit_2x2.dib": bmp(2, 2, 24, dib=True),
    "grey8_5x3.png": png(5, 3, 0, 8, lambda x, y, c: x * 40 + y),
    "grey2_7x2.png": png(7, 2, 0, 2, lambda x, y, c: (x + y) % 4),
    "grey16_transparent_3x3.png": png(3, 3, 0, 16, lambda x, y, c: x * 30000 + y, transparency=struct.pack(">H", 1)),
    "rgb_transparent_4x2.png": png(4, 2, 2, 8, lambda x, y, c: (x * 60 + c * 20) % 256, transparency=b"\0\0\0\x14\0\x28"),
    "rgba16_interlaced_9x9.png": png(9, 9, 6, 16, lambda x, y, c: (x * 7000 + y * 300 + c * 11) % 65536, interlaced=True),
    "grey_alpha_3x2.png": png(3, 2, 4, 8, lambda x, y, c: 255 - x * 50 if c else y * 90),
    "palette4_transparent_5x5.png": png(5, 5, 3, 4, lambda x, y, c: (x + y) % 5,
                                        palette=bytes(range(15)), transparency=b"\0\x80"),
    # Index 3 of a table of 3 entries, in an interlaced image.
    "palette_index_refused.png": png(6, 4, 3, 2, lambda x, y, c: (x + y) % 4, palette=bytes(range(9)), interlaced=True),
    "baseline_grey_9x8.jpg": jpeg(9, 8, 1, lambda x, y: (0, x * 20 + y * 5, 0), False),
    "baseline_colour_8x8.jpg": jpeg(8, 8, 3, lambda x, y: (x * 30, y * 30, 128), False),
    "progressive_colour_10x9.jpg": jpeg(10, 9, 3, lambda x, y: (x * 25, 200 - y * 20, x * y), True),
    "progressive_grey_16x8.jpg": jpeg(16, 8, 1, lambda x, y: (0, (x * 16) % 256, 0), True),
    # A DC table whose 16 counts come to more than the 256 symbols a table holds.
    "huffman_overlong_refused.jpg": patched_jpeg(lambda x, y: (0, x * 20, 0), b"\xff\xc4", 5, bytes([0x20] * 16)),
    # Scans naming Huffman tables the file never defines: the standard tables
    # stand in, as for motion JPEG frames.
    "scan_of_standard_tables.jpg": without_tables(jpeg(8, 8, 1, lambda x, y: (0, y * 20, 0), False)),
    # Scans past the coded ones that hold no data, and more scans than a file may hold.
    "empty_scans_refused.jpg": scanned_jpeg(8, 8, 0, empty=300),
    "many_scans_refused.jpg": again_first_scan(scanned_jpeg(8, 8, 36), 20),
    # Sides far past what the bytes hold, or past what is read at all: refused
    # before any memory is taken for the texels.
    "huge_rle_refused.tga": huge(tga(6, 4, 8, 3, True, 0x20, lambda i: bytes([i // 3 * 30])), 12, "<HH", 16384, 16384),
    "huge_sides_refused.tga": huge(tga(4, 3, 24, 2, False, 0, lambda i: bytes([i, 20, 30])), 12, "<HH", 65535, 65535),
    "huge_rle8_refused.bmp": huge(bmp(6, 3, 8, compression=1, table=b"".join(bytes([i * 15, 0, 0, 0]) for i in range(16)),
                                      rows=rle8(6, 3)), 18, "<ii", 16384, 16384),
    "huge_sides_refused.bmp": huge(bmp(5, 3, 24), 18, "<ii", 16384, 16384),
    "huge_sides_refused.dib": huge(bmp(2, 2, 24, dib=True), 4, "<ii", 100000, 2),
    "huge_sides_refused.png": huge(png(5, 3, 0, 8, lambda x, y, c: x * 40 + y), 16, ">II", 16384, 16384),
    "huge_sides_refused.jpg": huge(jpeg(9, 8, 1, lambda x, y: (0, x, 0), False),
                                   jpeg(9, 8, 1, lambda x, y: (0, x, 0), False).index(b"\xff\xc0") + 5, ">HH", 20000, 20000),
    "huge_progressive_refused.jpg": huge(jpeg(16, 8, 1, lambda x, y: (0, x, 0), True),
                                         jpeg(16, 8, 1, lambda x, y: (0, x, 0), True).index(b"\xff\xc2") + 5, ">HH",
                                         16384, 16384),
    # CMYK whose coefficients, held beside its texels, pass what a decode may
    # hold, though its bytes allow its sides.
    "coefficients_past_bound_refused.jpg": dc_scan_jpeg(9472, 4),
    # 4:2:0 whose luma's blocks are padded to whole units of its sampling.
    "coefficients_padded_past_bound_refused.jpg": dc_scan_jpeg(12392, 3, 0x22),
    "huge_sides_refused.hdr": hdr(8, 2, True).replace(b"-Y 2 +X 8", b"-Y 16384 +X 16384"),
    "huge_sides_refused.pfm": pfm(3, 2, 3, True).replace(b"3 2", b"16384 16384", 1),
    "huge_sides_refused.ppm": pnm("6", 3, 2, 255).replace(b"3 2", b"16384 16384", 1),
    "huge_sides_refused.pbm": pnm("1", 5, 2, 1).replace(b"5 2", b"16384 16384", 1),
    "huge_sides_refused.dds": dds(16384, 16384, 0, 1, DXT1, 0, 64),
    "flat_4x2.hdr": hdr(4, 2, False),
    "empty_run_refused.hdr": hdr(8, 2, True)[:-40] + bytes([0, 0, 0, 0]),
    "rle_8x2.hdr": hdr(8, 2, True),
    "colour_3x2_little.pfm": pfm(3, 2, 3, True),
    "grey_2x3_big.pfm": pfm(2, 3, 1, False),
    "p6_3x2.ppm": pnm("6", 3, 2, 255),
    "p6_wide_2x2.ppm": pnm("6", 2, 2, 1000),
    "p5_4x2.pgm": pnm("5", 4, 2, 100),
    "p3_2x2.ppm": pnm("3", 2, 2, 255),
    "p2_3x1.pgm": pnm("2", 3, 1, 15),
    "p1_5x2.pbm": pnm("1", 5, 2, 1),
    "p4_9x2.pbm": pnm("4", 9, 2, 1),
}

os.makedirs(OUT, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
