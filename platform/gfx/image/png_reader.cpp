#include "platform/gfx/image/png_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "platform/bytes/byte_reader.h"
#include "platform/gfx/device/format.h"

namespace gfx {

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Deflate makes at most 1032 bytes of a byte it reads.
constexpr uint64_t kDeflateBytesPerByte = 1032;

std::string Size(uint64_t width, uint64_t height) { return std::to_string(width) + " x " + std::to_string(height); }

uint32_t Big32(const uint8_t* at) { return uint32_t(at[0]) << 24 | at[1] << 16 | at[2] << 8 | at[3]; }
uint32_t Big16(const uint8_t* at) { return uint32_t(at[0]) << 8 | at[1]; }

// The file's chunks that make its texels: the header, colour table,
// transparency and every piece of the compressed texels.
struct PngFacts {
    uint32_t width = 0, height = 0;
    uint32_t depth = 0, colourType = 0;
    bool interlaced = false;
    std::span<const uint8_t> palette;      // PLTE
    std::span<const uint8_t> transparency; // tRNS
    bool hasTransparency = false;
    std::vector<std::span<const uint8_t>> pieces; // IDAT bodies
    uint64_t compressed = 0;
};

DecodeResult ReadPngFacts(const uint8_t* data, size_t size, PngFacts& facts)
{
    platform::ByteReader file(data, size);
    file.Skip(sizeof kPngSignature);
    bool header = false;
    while (file.Remaining() >= 12) {
        const uint32_t length = Big32(file.Bytes(4).data());
        const std::string_view type = file.Chars(4);
        const std::span<const uint8_t> body = file.Bytes(length);
        file.Skip(4); // the chunk's checksum: damage shows in the texels' own check
        if (!file.Ok())
            return DecodeResult::Invalid("truncated PNG: its " + std::string(type) + " chunk of " + std::to_string(length) +
                                         " bytes passes the end of the file");
        if (!header && type != "IHDR")
            return DecodeResult::Invalid("PNG without its IHDR header first");
        if (type == "IHDR") {
            if (header || length < 13)
                return DecodeResult::Invalid("damaged PNG file (a second or short IHDR header)");
            header = true;
            facts.width = Big32(&body[0]);
            facts.height = Big32(&body[4]);
            facts.depth = body[8];
            facts.colourType = body[9];
            if (body[10] != 0 || body[11] != 0 || body[12] > 1)
                return DecodeResult::Invalid("damaged PNG file (compression, filter or interlace method " +
                                             std::to_string(body[10]) + ", " + std::to_string(body[11]) + ", " +
                                             std::to_string(body[12]) + " is not one a PNG has)");
            facts.interlaced = body[12] == 1;
        } else if (type == "PLTE") {
            facts.palette = body;
        } else if (type == "tRNS") {
            facts.transparency = body;
            facts.hasTransparency = true;
        } else if (type == "IDAT") {
            facts.pieces.push_back(body);
            facts.compressed += length;
        } else if (type == "IEND") {
            break;
        }
    }
    if (!header)
        return DecodeResult::Invalid("PNG without its IHDR header");
    return {};
}

uint32_t SamplesOf(uint32_t colourType)
{
    return colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
}

bool KnownDepth(uint32_t colourType, uint32_t depth)
{
    switch (colourType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2: case 4: case 6: return depth == 8 || depth == 16;
    default: return false;
    }
}

// The compressed texels, inflated on demand across all their pieces: a row
// at a time, so the file's texels are never held whole before the image.
class Inflater {
public:
    explicit Inflater(const std::vector<std::span<const uint8_t>>& pieces) : pieces_(pieces)
    {
        ok_ = inflateInit(&stream_) == Z_OK;
    }
    ~Inflater() { inflateEnd(&stream_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Exactly `count` bytes, or false with the reason in Why().
    bool Read(uint8_t* out, size_t count)
    {
        stream_.next_out = out;
        stream_.avail_out = uInt(count);
        while (ok_ && stream_.avail_out > 0) {
            if (stream_.avail_in == 0) {
                if (next_ == pieces_.size()) {
                    why_ = "truncated PNG: its compressed texels end before its last row";
                    return false;
                }
                stream_.next_in = const_cast<Bytef*>(pieces_[next_].data());
                stream_.avail_in = uInt(pieces_[next_].size());
                ++next_;
                continue;
            }
            const int result = inflate(&stream_, Z_NO_FLUSH);
            if (result == Z_STREAM_END && stream_.avail_out > 0) {
                why_ = "truncated PNG: its compressed texels end before its last row";
                return false;
            }
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
                why_ = std::string("damaged PNG file (") + (stream_.msg ? stream_.msg : "bad compressed texels") + ")";
                return false;
            }
        }
        if (!ok_)
            why_ = "not enough memory to inflate the PNG file";
        return ok_;
    }
    // The rest of the stream, read only for its own check (bytes past the last
    // row are not texels); true unless it says the texels are damaged.
    bool Finish()
    {
        uint8_t rest[256];
        for (;;) {
            stream_.next_out = rest;
            stream_.avail_out = sizeof rest;
            if (stream_.avail_in == 0) {
                if (next_ == pieces_.size())
                    return true;
                stream_.next_in = const_cast<Bytef*>(pieces_[next_].data());
                stream_.avail_in = uInt(pieces_[next_].size());
                ++next_;
            }
            const int result = inflate(&stream_, Z_NO_FLUSH);
            if (result == Z_STREAM_END)
                return true;
            if (result != Z_OK && result != Z_BUF_ERROR) {
                why_ = std::string("damaged PNG file (") + (stream_.msg ? stream_.msg : "bad compressed texels") + ")";
                return false;
            }
        }
    }
    const std::string& Why() const { return why_; }

private:
    const std::vector<std::span<const uint8_t>>& pieces_;
    z_stream stream_{};
    size_t next_ = 0;
    bool ok_ = false;
    std::string why_;
};

uint8_t Paeth(int a, int b, int c)
{
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Undoes a row's filter in place (`row` after its filter byte), from the row above.
bool Unfilter(uint8_t filter, uint8_t* row, const uint8_t* above, size_t bytes, uint32_t texelBytes)
{
    switch (filter) {
    case 0: return true;
    case 1:
        for (size_t i = texelBytes; i < bytes; ++i)
            row[i] = uint8_t(row[i] + row[i - texelBytes]);
        return true;
    case 2:
        for (size_t i = 0; i < bytes; ++i)
            row[i] = uint8_t(row[i] + above[i]);
        return true;
    case 3:
        for (size_t i = 0; i < bytes; ++i)
            row[i] = uint8_t(row[i] + ((i >= texelBytes ? row[i - texelBytes] : 0) + above[i]) / 2);
        return true;
    case 4:
        for (size_t i = 0; i < bytes; ++i)
            row[i] = uint8_t(row[i] + Paeth(i >= texelBytes ? row[i - texelBytes] : 0, above[i],
                                            i >= texelBytes ? above[i - texelBytes] : 0));
        return true;
    default: return false;
    }
}

// How a row of the file's samples becomes texels of the image's format.
struct Converter {
    const PngFacts& facts;
    uint32_t format = 0;
    uint32_t samples = 1;
    uint32_t scale = 1;             // a grey sample of fewer than 8 bits to 8
    uint32_t key[3] = {0, 0, 0};    // the transparent grey or colour, scaled like the samples
    bool keyed = false;
    uint8_t palette[4 * 256] = {};  // red, green, blue, alpha
    uint32_t paletteEntries = 0;

    uint32_t Sample(const uint8_t* row, uint32_t i) const
    {
        const uint32_t depth = facts.depth;
        if (depth == 16)
            return Big16(row + size_t(i) * 2);
        if (depth == 8)
            return row[i];
        const size_t bit = size_t(i) * depth;
        return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
    }

    // `count` texels of a row, to every `step`th texel of the image's row from `out`.
    bool Put(const uint8_t* row, uint32_t count, uint8_t* out, uint32_t step, uint32_t& badIndex) const
    {
        const uint32_t texelBytes = BytesPerTexel(format);
        const size_t stride = size_t(step) * texelBytes;
        if (facts.depth == 8 && !keyed) {
            // Whole bytes, the most common files: each texel moved as it is.
            switch (facts.colourType) {
            case 6:
                for (uint32_t x = 0; x < count; ++x, out += stride, row += 4)
                    out[0] = row[2], out[1] = row[1], out[2] = row[0], out[3] = row[3];
                return true;
            case 2:
                for (uint32_t x = 0; x < count; ++x, out += stride, row += 3)
                    out[0] = row[2], out[1] = row[1], out[2] = row[0], out[3] = 0xFF;
                return true;
            case 4:
                for (uint32_t x = 0; x < count; ++x, out += stride, row += 2)
                    out[0] = row[0], out[1] = row[1];
                return true;
            case 0:
                for (uint32_t x = 0; x < count; ++x, out += stride)
                    out[0] = row[x];
                return true;
            default:
                for (uint32_t x = 0; x < count; ++x, out += stride) {
                    if (row[x] >= paletteEntries) {
                        badIndex = row[x];
                        return false;
                    }
                    const uint8_t* entry = palette + 4 * row[x];
                    out[0] = entry[2], out[1] = entry[1], out[2] = entry[0], out[3] = entry[3];
                }
                return true;
            }
        }
        const bool wide = facts.depth == 16;
        const uint32_t opaque = wide ? 0xFFFF : 0xFF;
        for (uint32_t x = 0; x < count; ++x, out += stride) {
            uint32_t v[4];
            for (uint32_t c = 0; c < samples; ++c)
                v[c] = Sample(row, x * samples + c);
            uint32_t r, g, b, a = opaque;
            switch (facts.colourType) {
            case 3: {
                if (v[0] >= paletteEntries) {
                    badIndex = v[0];
                    return false;
                }
                const uint8_t* entry = palette + 4 * v[0];
                r = entry[0], g = entry[1], b = entry[2], a = entry[3];
                break;
            }
            case 0:
                r = g = b = wide ? v[0] : v[0] * scale;
                if (keyed && r == key[0])
                    a = 0;
                break;
            case 4: r = g = b = v[0], a = v[1]; break;
            case 2:
                r = v[0], g = v[1], b = v[2];
                if (keyed && r == key[0] && g == key[1] && b == key[2])
                    a = 0;
                break;
            default: r = v[0], g = v[1], b = v[2], a = v[3]; break;
            }
            switch (format) {
            case kFormatL8: out[0] = uint8_t(g); break;
            case kFormatA8L8: out[0] = uint8_t(g), out[1] = uint8_t(a); break;
            case kFormatL16: out[0] = uint8_t(g), out[1] = uint8_t(g >> 8); break;
            case kFormatA16B16G16R16: {
                const uint32_t rgba[4] = {r, g, b, a};
                for (uint32_t c = 0; c < 4; ++c)
                    out[2 * c] = uint8_t(rgba[c]), out[2 * c + 1] = uint8_t(rgba[c] >> 8);
                break;
            }
            default: out[0] = uint8_t(b), out[1] = uint8_t(g), out[2] = uint8_t(r), out[3] = uint8_t(a); break;
            }
        }
        return true;
    }
};

DecodeResult ReadPngInto(const uint8_t* data, size_t size, DecodedImage& image)
{
    PngFacts facts;
    if (DecodeResult result = ReadPngFacts(data, size, facts); !result.Ok())
        return result;
    if (facts.width == 0 || facts.height == 0 || facts.width > kMaxImageSide || facts.height > kMaxImageSide)
        return DecodeResult::Invalid("PNG of " + Size(facts.width, facts.height) + " is not from 1 to " +
                                     std::to_string(kMaxImageSide) + " texels a side");
    if (!KnownDepth(facts.colourType, facts.depth))
        return DecodeResult::Invalid("damaged PNG file (colour type " + std::to_string(facts.colourType) + " with " +
                                     std::to_string(facts.depth) + "-bit samples)");
    const uint32_t samples = SamplesOf(facts.colourType);
    // Every row is a filter byte and its samples; an interlaced image's passes
    // take a little more, at most a row of each of its seven passes.
    const uint64_t rowBytes = (uint64_t(facts.width) * samples * facts.depth + 7) / 8 + 1;
    const uint64_t raw = rowBytes * facts.height;
    if (raw > facts.compressed * kDeflateBytesPerByte + (facts.interlaced ? 7 * rowBytes : 0))
        return DecodeResult::Invalid("PNG of " + Size(facts.width, facts.height) + " cannot be in " +
                                     std::to_string(facts.compressed) + " bytes of compressed texels");

    Converter convert{facts};
    convert.samples = samples;
    if (facts.colourType == 3) {
        if (facts.palette.empty() || facts.palette.size() % 3 != 0 || facts.palette.size() > 3 * 256)
            return DecodeResult::Invalid("damaged PNG file (a colour table of " + std::to_string(facts.palette.size()) +
                                         " bytes)");
        convert.paletteEntries = uint32_t(facts.palette.size() / 3);
        if (facts.transparency.size() > convert.paletteEntries)
            return DecodeResult::Invalid("damaged PNG file (transparency for more entries than its colour table has)");
        for (uint32_t i = 0; i < convert.paletteEntries; ++i) {
            std::memcpy(convert.palette + 4 * i, &facts.palette[3 * i], 3);
            convert.palette[4 * i + 3] = i < facts.transparency.size() ? facts.transparency[i] : 0xFF;
        }
    } else if (facts.hasTransparency) {
        if (facts.colourType == 4 || facts.colourType == 6)
            return DecodeResult::Invalid("damaged PNG file (a transparent colour beside an alpha channel)");
        if (facts.transparency.size() != (facts.colourType == 0 ? 2u : 6u))
            return DecodeResult::Invalid("damaged PNG file (a transparent colour of " +
                                         std::to_string(facts.transparency.size()) + " bytes)");
        convert.keyed = true;
        // As the samples are widened: an 8-bit key keeps its low byte.
        for (uint32_t c = 0; c < (facts.colourType == 0 ? 1u : 3u); ++c) {
            const uint32_t value = Big16(&facts.transparency[2 * c]);
            convert.key[c] = facts.depth == 16 ? value : facts.colourType == 0 && facts.depth < 8
                                                            ? ((value & 0xFF) * (255 / ((1u << facts.depth) - 1))) & 0xFF
                                                            : value & 0xFF;
        }
    }
    if (facts.colourType == 0 && facts.depth < 8)
        convert.scale = 255 / ((1u << facts.depth) - 1);

    const bool wide = facts.depth == 16 && facts.colourType != 3;
    const bool grey = facts.colourType == 0 || facts.colourType == 4;
    const bool alpha = facts.colourType == 4 || facts.colourType == 6 || facts.hasTransparency;
    if (wide)
        image.format = grey && !alpha ? kFormatL16 : kFormatA16B16G16R16;
    else if (grey)
        image.format = alpha ? kFormatA8L8 : kFormatL8;
    else
        image.format = alpha ? kFormatA8R8G8B8 : kFormatX8R8G8B8;
    convert.format = image.format;
    image.fileType = ImageFileType::Png;
    image.width = facts.width;
    image.height = facts.height;
    const uint64_t count = uint64_t(facts.width) * facts.height;
    if (DecodeResult result = LayOutImage(image, count * BytesPerTexel(image.format)); !result.Ok())
        return result;

    // The seven passes of an interlaced image (a plain one is the first alone,
    // over every texel): where each starts and how far apart its texels are.
    struct Pass {
        uint32_t x, y, dx, dy;
    };
    static constexpr Pass kPlain[] = {{0, 0, 1, 1}};
    static constexpr Pass kAdam7[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                      {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    const std::span<const Pass> passes = facts.interlaced ? std::span<const Pass>(kAdam7) : std::span<const Pass>(kPlain);
    const uint32_t texelBytes = std::max(1u, samples * facts.depth / 8); // what a filter looks back
    const uint32_t pitch = image.subresources[0].rowPitch;
    const uint32_t outBytes = BytesPerTexel(image.format);
    Inflater inflater(facts.pieces);
    // Two rows of the file (this one and the one above) are all it holds.
    std::vector<uint8_t> rows(2 * size_t(rowBytes));
    for (const Pass& pass : passes) {
        if (pass.x >= facts.width || pass.y >= facts.height)
            continue;
        const uint32_t width = (facts.width - pass.x + pass.dx - 1) / pass.dx;
        const size_t bytes = (size_t(width) * samples * facts.depth + 7) / 8;
        uint8_t* row = rows.data();
        uint8_t* above = rows.data() + rowBytes;
        std::fill(above, above + bytes + 1, 0);
        for (uint32_t y = pass.y; y < facts.height; y += pass.dy) {
            if (!inflater.Read(row, bytes + 1))
                return DecodeResult::Invalid(inflater.Why());
            if (!Unfilter(row[0], row + 1, above + 1, bytes, texelBytes))
                return DecodeResult::Invalid("damaged PNG file (row filter " + std::to_string(row[0]) + ")");
            uint32_t badIndex = 0;
            if (!convert.Put(row + 1, width, image.bytes.data() + size_t(y) * pitch + size_t(pass.x) * outBytes, pass.dx,
                             badIndex))
                return DecodeResult::Invalid("damaged PNG file (colour index " + std::to_string(badIndex) +
                                             " outside its table of " + std::to_string(convert.paletteEntries) +
                                             " entries)");
            std::swap(row, above);
        }
    }
    if (!inflater.Finish())
        return DecodeResult::Invalid(inflater.Why());
    return {};
}

} // namespace

bool LooksLikePng(const uint8_t* data, size_t size)
{
    return data != nullptr && size >= sizeof kPngSignature && std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0;
}

DecodeResult ReadPng(const uint8_t* data, size_t size, DecodedImage& out)
{
    return DecodeFresh(
        [](const uint8_t* bytes, size_t length, DecodedImage& image) {
            if (bytes == nullptr || length == 0)
                return DecodeResult::Invalid("empty PNG file");
            if (!LooksLikePng(bytes, length))
                return DecodeResult::Invalid("not a PNG file");
            return ReadPngInto(bytes, length, image);
        },
        data, size, out);
}

} // namespace gfx
