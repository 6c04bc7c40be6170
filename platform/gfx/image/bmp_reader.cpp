#include "platform/gfx/image/bmp_reader.h"

#include <array>
#include <bit>
#include <cstring>
#include <string>

#include "platform/bytes/byte_reader.h"
#include "platform/gfx/device/format.h"

namespace gfx {

namespace {

constexpr size_t kFileHeaderSize = 14;

constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionRle8 = 1;
constexpr uint32_t kCompressionRle4 = 2;
constexpr uint32_t kCompressionBitFields = 3;
constexpr uint32_t kCompressionJpeg = 4;
constexpr uint32_t kCompressionPng = 5;
constexpr uint32_t kCompressionAlphaBitFields = 6;

// Runs of RLE8 and RLE4 give at most 255 texels for two bytes: a file whose
// runs would have to give more a byte is refused before its texels are made.
constexpr uint64_t kRunTexelsPerByte = 256;

bool KnownInfoSize(uint32_t size)
{
    return size == 12 || size == 16 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 ||
           size == 124;
}

bool Os2Header(uint32_t size) { return size == 16 || size == 64; }

bool KnownBits(uint32_t bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

struct Info {
    uint32_t infoSize = 0;
    int64_t width = 0;
    int64_t height = 0; // negative: rows from the top
    uint32_t planes = 1;
    uint32_t bits = 0;
    uint32_t compression = kCompressionNone;
    uint32_t colours = 0;                       // entries of the colour table the header names (0: all)
    std::array<uint32_t, 4> masks{0, 0, 0, 0}; // red, green, blue, alpha
    size_t tableAt = 0;                         // where the colour table starts, from the header's start
};

std::string Hex(uint32_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    bool any = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
        const uint32_t digit = (value >> shift) & 0xF;
        if (digit != 0 || any || shift == 0) {
            text += digits[digit];
            any = true;
        }
    }
    return text;
}

// The bitmap header from `info` on (the file's start for a DIB).
DecodeResult ReadInfo(const uint8_t* info, size_t size, Info& out)
{
    platform::ByteReader header(info, size);
    out.infoSize = header.U32At(0);
    if (!header.Ok())
        return DecodeResult::Invalid("truncated bitmap header");
    if (!KnownInfoSize(out.infoSize))
        return DecodeResult::Invalid("bitmap header of " + std::to_string(out.infoSize) + " bytes is not one a bitmap has");
    if (size < out.infoSize)
        return DecodeResult::Invalid("truncated bitmap header: " + std::to_string(out.infoSize) + " bytes, the file holds " +
                                     std::to_string(size));
    if (out.infoSize == 12) {
        out.width = header.U16At(4);
        out.height = header.U16At(6);
        out.planes = header.U16At(8);
        out.bits = header.U16At(10);
    } else {
        out.width = int32_t(header.U32At(4));
        out.height = int32_t(header.U32At(8));
        out.planes = header.U16At(12);
        out.bits = header.U16At(14);
        if (out.infoSize >= 40) {
            out.compression = header.U32At(16);
            out.colours = header.U32At(32);
        }
    }
    if (Os2Header(out.infoSize) && (out.compression == 3 || out.compression == 4))
        return DecodeResult::Invalid(std::string("OS/2 bitmap compressed by ") +
                                     (out.compression == 3 ? "Huffman codes" : "24-bit runs") + " is not read");
    size_t tableAt = out.infoSize;
    if (out.compression == kCompressionBitFields || out.compression == kCompressionAlphaBitFields) {
        const uint32_t masks = out.compression == kCompressionBitFields ? 3 : 4;
        // A 40-byte header has its masks right after it; later versions hold
        // them at the same place, and the alpha mask from 56 bytes on.
        if (out.infoSize == 40)
            tableAt += 4 * masks;
        for (uint32_t i = 0; i < 4; ++i) {
            const bool held = out.infoSize == 40 ? i < masks : 40 + 4 * (i + 1) <= out.infoSize;
            out.masks[i] = held ? header.U32At(40 + 4 * i) : 0;
        }
        if (!header.Ok())
            return DecodeResult::Invalid("truncated bitmap header: its channel masks pass the end of the file");
    }
    out.tableAt = tableAt;
    return {};
}

// Entries of the colour table: as many as the header names, at most as many
// as the indices reach (all of them when it names none); a table beside
// texels that are not indices is passed over.
uint32_t TableEntries(const Info& info)
{
    if (info.bits > 8)
        return info.colours > 256 ? 256 : info.colours;
    const uint32_t most = 1u << info.bits;
    return info.colours == 0 || info.colours > most ? most : info.colours;
}

uint32_t TableEntryBytes(const Info& info) { return info.infoSize == 12 ? 3 : 4; }

struct Layout {
    uint32_t format = 0;
    bool table = false;   // texels are indices into the colour table
    bool widened = false; // channels taken through the masks into 8 bits each
    std::array<uint32_t, 4> masks{0, 0, 0, 0};
};

struct MaskFormat {
    uint32_t bits;
    std::array<uint32_t, 4> masks;
    uint32_t format;
};

constexpr MaskFormat kMaskFormats[] = {
    {16, {0x7C00, 0x03E0, 0x001F, 0}, kFormatX1R5G5B5},
    {16, {0x7C00, 0x03E0, 0x001F, 0x8000}, kFormatA1R5G5B5},
    {16, {0xF800, 0x07E0, 0x001F, 0}, kFormatR5G6B5},
    {16, {0x0F00, 0x00F0, 0x000F, 0xF000}, kFormatA4R4G4B4},
    {32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0}, kFormatX8R8G8B8},
    {32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, kFormatA8R8G8B8},
    {32, {0x000000FF, 0x0000FF00, 0x00FF0000, 0}, kFormatX8B8G8R8},
    {32, {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}, kFormatA8B8G8R8},
    {32, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}, kFormatA2R10G10B10},
    {32, {0x000003FF, 0x000FFC00, 0x3FF00000, 0xC0000000}, kFormatA2B10G10R10},
    {32, {0x0000FFFF, 0xFFFF0000, 0, 0}, kFormatG16R16},
};

DecodeResult LayoutOf(const Info& info, Layout& out)
{
    if (info.bits <= 8) {
        out.table = true;
        out.format = kFormatX8R8G8B8;
        return {};
    }
    if (info.bits == 24) {
        out.format = kFormatX8R8G8B8;
        return {};
    }
    std::array<uint32_t, 4> masks = info.masks;
    if (info.compression == kCompressionNone)
        masks = info.bits == 16 ? std::array<uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                : std::array<uint32_t, 4>{0x00FF0000, 0x0000FF00, 0x000000FF, 0};
    for (const MaskFormat& entry : kMaskFormats) {
        if (entry.bits == info.bits && entry.masks == masks) {
            out.format = entry.format;
            return {};
        }
    }
    for (uint32_t mask : masks) {
        const uint32_t run = mask >> std::countr_zero(mask | 0x80000000u);
        if (info.bits == 16 && (mask >> 16) != 0)
            return DecodeResult::Invalid("16-bit bitmap with the channel mask " + Hex(mask) + " above its 16 bits");
        if (mask != 0 && (run & (run + 1)) != 0)
            return DecodeResult::Invalid("bitmap channel mask " + Hex(mask) + " is not one run of bits");
    }
    out.widened = true;
    out.masks = masks;
    out.format = masks[3] != 0 ? kFormatA8R8G8B8 : kFormatX8R8G8B8;
    return {};
}

// One channel of a texel through its mask, widened or narrowed to 8 bits.
uint8_t Channel(uint32_t texel, uint32_t mask, uint8_t absent)
{
    if (mask == 0)
        return absent;
    const int shift = std::countr_zero(mask);
    const uint32_t max = mask >> shift;
    return uint8_t((uint64_t((texel & mask) >> shift) * 255 + max / 2) / max);
}

struct Bitmap {
    const uint8_t* file = nullptr; // where the bitmap header starts
    size_t size = 0;               // bytes from there to the end
    size_t texelsAt = 0;           // from the header's start
};

DecodeResult ReadTable(const Bitmap& bitmap, const Info& info, std::array<uint8_t, 4 * 256>& table)
{
    // Entries past those the file holds, and indices past the table, are black.
    table.fill(0);
    for (size_t i = 3; i < table.size(); i += 4)
        table[i] = 0xFF;
    const uint32_t entries = TableEntries(info);
    const uint32_t entryBytes = TableEntryBytes(info);
    if (info.tableAt > bitmap.size || (bitmap.size - info.tableAt) / entryBytes < entries)
        return DecodeResult::Invalid("truncated bitmap: its colour table of " + std::to_string(entries) +
                                     " entries passes the end of the file");
    const uint8_t* from = bitmap.file + info.tableAt;
    for (uint32_t i = 0; i < entries; ++i, from += entryBytes) {
        table[4 * i] = from[0];
        table[4 * i + 1] = from[1];
        table[4 * i + 2] = from[2];
    }
    return {};
}

// Unpacks RLE8 or RLE4 runs straight into the image through the colour
// table, rows from the bottom as the file keeps them. Texels the runs skip
// (by a row's early end, a jump or the bitmap's end) take entry 0.
DecodeResult Unpack(platform::ByteReader runs, const Info& info, const std::array<uint8_t, 4 * 256>& table,
                    bool topDown, DecodedImage& image)
{
    const bool four = info.compression == kCompressionRle4;
    const uint32_t width = image.width, rows = image.height;
    const uint32_t pitch = image.subresources[0].rowPitch;
    uint32_t x = 0, y = 0;
    // Runs only ever move forward, so every texel before `next` (counted in
    // the file's order) is written.
    uint64_t next = 0;
    const auto fillTo = [&](uint64_t end, const uint8_t* colour) {
        for (; next < end; ++next) {
            const uint32_t row = uint32_t(next / width), column = uint32_t(next % width);
            std::memcpy(image.bytes.data() + size_t(topDown ? row : rows - 1 - row) * pitch + size_t(column) * 4,
                        colour, 4);
        }
    };
    const auto put = [&](uint8_t index) {
        if (x < width && y < rows) {
            fillTo(uint64_t(y) * width + x, table.data());
            fillTo(next + 1, table.data() + 4 * index);
        }
        ++x;
    };
    while (y < rows) {
        const uint8_t count = runs.U8();
        const uint8_t value = runs.U8();
        if (!runs.Ok())
            return DecodeResult::Invalid("truncated run-length bitmap: its runs end at row " + std::to_string(y) +
                                         " of " + std::to_string(rows));
        if (count > 0) {
            for (uint32_t i = 0; i < count; ++i)
                put(four ? uint8_t((i % 2) == 0 ? value >> 4 : value & 0xF) : value);
            continue;
        }
        if (value == 0) { // end of the row
            x = 0;
            ++y;
        } else if (value == 1) { // end of the bitmap
            break;
        } else if (value == 2) { // a jump right and up
            x += runs.U8();
            y += runs.U8();
        } else { // `value` indices as they are, padded to a whole word
            const size_t bytes = four ? (value + 1u) / 2u : value;
            const std::span<const uint8_t> literal = runs.Bytes(bytes);
            if (!runs.Ok())
                break;
            for (uint32_t i = 0; i < value; ++i)
                put(four ? uint8_t((i % 2) == 0 ? literal[i / 2] >> 4 : literal[i / 2] & 0xF) : literal[i]);
            runs.Skip(bytes % 2);
        }
    }
    if (!runs.Ok())
        return DecodeResult::Invalid("truncated run-length bitmap: a run passes the end of the file");
    fillTo(uint64_t(width) * rows, table.data());
    return {};
}

DecodeResult ReadBitmap(const Bitmap& bitmap, const Info& info, DecodedImage& image)
{
    if (info.planes != 1)
        return DecodeResult::Invalid("bitmap with " + std::to_string(info.planes) + " planes");
    if (!KnownBits(info.bits))
        return DecodeResult::Invalid("bitmap of " + std::to_string(info.bits) + " bits a texel (1, 4, 8, 16, 24 or 32)");
    switch (info.compression) {
    case kCompressionNone: break;
    case kCompressionRle8: case kCompressionRle4:
        if (info.bits != (info.compression == kCompressionRle8 ? 8u : 4u))
            return DecodeResult::Invalid("bitmap of " + std::to_string(info.bits) + " bits in RLE" +
                                         (info.compression == kCompressionRle8 ? "8" : "4") + " runs");
        break;
    case kCompressionBitFields: case kCompressionAlphaBitFields:
        if (info.bits != 16 && info.bits != 32)
            return DecodeResult::Invalid("bitmap of " + std::to_string(info.bits) + " bits with channel masks");
        break;
    case kCompressionJpeg: return DecodeResult::Invalid("bitmap holding a JPEG image is not read");
    case kCompressionPng: return DecodeResult::Invalid("bitmap holding a PNG image is not read");
    default: return DecodeResult::Invalid("bitmap compression " + std::to_string(info.compression) + " is not one a bitmap has");
    }
    const int64_t rows = info.height < 0 ? -info.height : info.height;
    if (info.width <= 0 || rows == 0)
        return DecodeResult::Invalid("bitmap of " + std::to_string(info.width) + " x " + std::to_string(info.height) +
                                     " has no texels");
    if (info.width > kMaxImageSide || rows > kMaxImageSide)
        return DecodeResult::Invalid("bitmap of " + std::to_string(info.width) + " x " + std::to_string(rows) +
                                     " is larger than " + std::to_string(kMaxImageSide) + " texels a side");
    const uint32_t width = uint32_t(info.width), height = uint32_t(rows);
    const bool topDown = info.height < 0;

    Layout layout;
    if (DecodeResult result = LayoutOf(info, layout); !result.Ok())
        return result;
    std::array<uint8_t, 4 * 256> table{};
    if (layout.table)
        if (DecodeResult result = ReadTable(bitmap, info, table); !result.Ok())
            return result;
    if (bitmap.texelsAt > bitmap.size)
        return DecodeResult::Invalid("truncated bitmap: its texels would start at " + std::to_string(bitmap.texelsAt) +
                                     ", past the file's " + std::to_string(bitmap.size) + " bytes");
    platform::ByteReader texels(bitmap.file + bitmap.texelsAt, bitmap.size - bitmap.texelsAt);

    const bool runLength = info.compression == kCompressionRle8 || info.compression == kCompressionRle4;
    const uint64_t stride = (uint64_t(width) * info.bits + 31) / 32 * 4;
    if (runLength && uint64_t(width) * height > texels.Remaining() * kRunTexelsPerByte) {
        return DecodeResult::Invalid("run-length bitmap of " + std::to_string(width) + " x " + std::to_string(height) +
                                     " texels cannot be in " + std::to_string(texels.Remaining()) +
                                     " bytes of runs (at most " + std::to_string(kRunTexelsPerByte) +
                                     " texels a byte)");
    } else if (!runLength && stride * height > texels.Remaining()) {
        return DecodeResult::Invalid("truncated bitmap: " + std::to_string(width) + " x " + std::to_string(height) +
                                     " texels need " + std::to_string(stride * height) + " bytes, the file holds " +
                                     std::to_string(texels.Remaining()));
    }

    image.width = width;
    image.height = height;
    image.format = layout.format;
    const uint32_t outBytes = BytesPerTexel(layout.format);
    if (DecodeResult result = LayOutImage(image, uint64_t(width) * height * outBytes); !result.Ok())
        return result;
    if (runLength)
        return Unpack(texels, info, table, topDown, image);
    const uint32_t pitch = image.subresources[0].rowPitch;
    const uint8_t* stored = bitmap.file + bitmap.texelsAt;
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t y = topDown ? row : height - 1 - row;
        uint8_t* to = image.bytes.data() + size_t(y) * pitch;
        const uint8_t* from = stored + size_t(row) * stride;
        if (layout.table) {
            for (uint32_t x = 0; x < width; ++x, to += 4) {
                const uint32_t bit = x * info.bits;
                const uint32_t index = (from[bit / 8] >> (8 - info.bits - bit % 8)) & ((1u << info.bits) - 1);
                std::memcpy(to, table.data() + 4 * index, 4);
            }
        } else if (info.bits == 24) {
            for (uint32_t x = 0; x < width; ++x, to += 4, from += 3) {
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
                to[3] = 0xFF;
            }
        } else if (!layout.widened) {
            std::memcpy(to, from, size_t(width) * outBytes);
        } else {
            const uint32_t bytes = info.bits / 8;
            for (uint32_t x = 0; x < width; ++x, to += 4, from += bytes) {
                uint32_t texel = 0;
                std::memcpy(&texel, from, bytes);
                to[0] = Channel(texel, layout.masks[2], 0);
                to[1] = Channel(texel, layout.masks[1], 0);
                to[2] = Channel(texel, layout.masks[0], 0);
                to[3] = Channel(texel, layout.masks[3], 0xFF);
            }
        }
    }
    return {};
}

DecodeResult ReadBmpInto(const uint8_t* data, size_t size, DecodedImage& image)
{
    if (!LooksLikeBmp(data, size))
        return DecodeResult::Invalid("not a BMP file");
    if (size < kFileHeaderSize + 4)
        return DecodeResult::Invalid("truncated BMP header");
    image.fileType = ImageFileType::Bmp;
    Info info;
    if (DecodeResult result = ReadInfo(data + kFileHeaderSize, size - kFileHeaderSize, info); !result.Ok())
        return result;
    // The header says where the texels start; a place inside the headers or
    // past the end is taken as the usual place, right after the colour table.
    const uint32_t offset = platform::ByteReader(data, size).U32At(10);
    Bitmap bitmap{data + kFileHeaderSize, size - kFileHeaderSize, 0};
    const size_t usual = info.tableAt + size_t(TableEntries(info)) * TableEntryBytes(info);
    bitmap.texelsAt = offset >= kFileHeaderSize + info.tableAt && offset < size ? offset - kFileHeaderSize : usual;
    return ReadBitmap(bitmap, info, image);
}

DecodeResult ReadDibInto(const uint8_t* data, size_t size, DecodedImage& image)
{
    if (!LooksLikeDib(data, size))
        return DecodeResult::Invalid("not a DIB (no bitmap header)");
    image.fileType = ImageFileType::Dib;
    Info info;
    if (DecodeResult result = ReadInfo(data, size, info); !result.Ok())
        return result;
    const Bitmap bitmap{data, size, info.tableAt + size_t(TableEntries(info)) * TableEntryBytes(info)};
    return ReadBitmap(bitmap, info, image);
}

} // namespace

bool LooksLikeBmp(const uint8_t* data, size_t size)
{
    return data != nullptr && size >= 2 && data[0] == 'B' && data[1] == 'M';
}

bool LooksLikeDib(const uint8_t* data, size_t size)
{
    if (data == nullptr || size < 12)
        return false;
    platform::ByteReader header(data, size);
    const uint32_t infoSize = header.U32At(0);
    if (!KnownInfoSize(infoSize))
        return false;
    const uint32_t planes = infoSize == 12 ? header.U16At(8) : header.U16At(12);
    const uint32_t bits = infoSize == 12 ? header.U16At(10) : header.U16At(14);
    return header.Ok() && planes == 1 && KnownBits(bits);
}

DecodeResult ReadBmp(const uint8_t* data, size_t size, DecodedImage& out)
{
    return DecodeFresh(ReadBmpInto, data, size, out);
}

DecodeResult ReadDib(const uint8_t* data, size_t size, DecodedImage& out)
{
    return DecodeFresh(ReadDibInto, data, size, out);
}

} // namespace gfx
