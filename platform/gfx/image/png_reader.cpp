#include "platform/gfx/image/png_reader.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "platform/bytes/byte_reader.h"
#include "platform/gfx/device/format.h"

namespace gfx {

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Deflate makes at most 1032 bytes of a byte it reads.
constexpr uint64_t kDeflateBytesPerByte = 1032;
// What libpng may hold for one chunk beside the texels (a colour table and
// its transparency take under a kilobyte), and how many chunks it may keep.
constexpr png_alloc_size_t kChunkBytes = 64 * 1024;
constexpr png_uint_32 kChunksKept = 8;

std::string Size(uint64_t width, uint64_t height) { return std::to_string(width) + " x " + std::to_string(height); }

uint32_t Big32(const uint8_t* at) { return uint32_t(at[0]) << 24 | at[1] << 16 | at[2] << 8 | at[3]; }

// What the file's chunks say before libpng reads them: its sides, and how
// many bytes of compressed texels it holds.
struct PngFacts {
    uint32_t width = 0, height = 0;
    uint64_t compressed = 0;
};

DecodeResult ReadPngFacts(const uint8_t* data, size_t size, PngFacts& facts)
{
    platform::ByteReader file(data, size);
    file.Skip(sizeof kPngSignature);
    bool header = false, texels = false;
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
        } else if (type == "IDAT") {
            facts.compressed += length;
            texels = true;
        } else if (texels && (type == "PLTE" || type == "tRNS")) {
            // libpng would make the texels without it.
            return DecodeResult::Invalid("damaged PNG file (its " + std::string(type) +
                                         " chunk after the compressed texels)");
        } else if (type == "IEND") {
            break;
        }
    }
    if (!header)
        return DecodeResult::Invalid("PNG without its IHDR header");
    return {};
}

// A colour table's entries as the image's texels (blue, green, red, alpha):
// libpng gives a row of indices, a byte each, looked up here, where an index
// past the table is found (libpng would make its texel black).
struct ColourTable {
    uint32_t entries = 0;
    uint8_t texels[4 * 256] = {};

    // The indices at the row's start, from its end back, so none is written
    // over before it is read. False at an index past the entries, in `bad`.
    bool LookUp(uint8_t* row, uint32_t width, uint32_t& bad) const
    {
        for (uint32_t x = width; x-- > 0;) {
            const uint8_t index = row[x];
            if (index >= entries) {
                bad = index;
                return false;
            }
            std::memcpy(row + 4 * size_t(x), texels + 4 * size_t(index), 4);
        }
        return true;
    }
};

// libpng's reading of one file from memory. libpng reports a failure by
// calling Fail, which must not return: it jumps back to where the decoding
// started, with the message.
struct Reading {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t at = 0;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::jmp_buf jump;
    char message[256] = {};
    char headerFault[128] = {}; // what libpng found wrong in the header, before it fails
    ColourTable table;
};

Reading& ReadingOf(png_structp png) { return *static_cast<Reading*>(png_get_error_ptr(png)); }

[[noreturn]] void Fail(png_structp png, png_const_charp message)
{
    Reading& reading = ReadingOf(png);
    std::snprintf(reading.message, sizeof reading.message, "damaged PNG file (%s)",
                  reading.headerFault[0] != 0 ? reading.headerFault : message);
    std::longjmp(reading.jump, 1);
}

// Warnings that the texels are damaged or missing end the decoding: those of
// the compressed texels (a failing check of their own among them) and of the
// transparent colour or entries. The others pass: a chunk's failing checksum
// (the texels' own check finds damage there), chunks that describe the
// picture, and compressed bytes past its last row.
bool TexelsDamaged(std::string_view message)
{
    for (std::string_view harmless : {"CRC error", "Extra compress", "Too much image data"})
        if (message.find(harmless) != std::string_view::npos)
            return false;
    return message.find("IDAT") != std::string_view::npos || message.find("tRNS") != std::string_view::npos;
}

// libpng names each fault of the header in a warning, then fails on the
// header as a whole: the fault is the failure's reason.
void Warn(png_structp png, png_const_charp message)
{
    if (TexelsDamaged(message))
        Fail(png, message);
    if (std::strstr(message, "in IHDR") != nullptr) {
        Reading& reading = ReadingOf(png);
        std::snprintf(reading.headerFault, sizeof reading.headerFault, "%s", message);
    }
}

void ReadBytes(png_structp png, png_bytep out, size_t count)
{
    Reading& reading = ReadingOf(png);
    if (count > reading.size - reading.at) {
        std::snprintf(reading.message, sizeof reading.message, "truncated PNG: the file ends inside its texels");
        std::longjmp(reading.jump, 1);
    }
    std::memcpy(out, reading.data + reading.at, count);
    reading.at += count;
}

// Asks libpng for the texels in the format the platform gives a file of this
// kind, and returns that format; a colour table's indices come as they are.
uint32_t AskForTexels(png_structp png, png_infop info, ColourTable& table)
{
    const int type = png_get_color_type(png, info);
    const bool grey = (type & PNG_COLOR_MASK_COLOR) == 0;
    const bool alpha = (type & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (type == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int entries = 0;
        png_bytep transparency = nullptr;
        int transparent = 0;
        png_get_PLTE(png, info, &palette, &entries);
        png_get_tRNS(png, info, &transparency, &transparent, nullptr);
        table.entries = uint32_t(entries);
        for (int i = 0; i < entries; ++i) {
            uint8_t* texel = table.texels + 4 * i;
            texel[0] = palette[i].blue, texel[1] = palette[i].green, texel[2] = palette[i].red;
            texel[3] = i < transparent ? transparency[i] : 0xFF;
        }
        png_set_packing(png);
        return alpha ? kFormatA8R8G8B8 : kFormatX8R8G8B8;
    }
    // Grey samples of fewer than 8 bits to 8, and a transparent colour to alpha.
    png_set_expand(png);
    if (png_get_bit_depth(png, info) == 16) {
        png_set_swap(png);
        if (grey && !alpha)
            return kFormatL16;
        if (grey)
            png_set_gray_to_rgb(png);
        if (!alpha)
            png_set_filler(png, 0xFFFF, PNG_FILLER_AFTER);
        return kFormatA16B16G16R16;
    }
    if (grey)
        return alpha ? kFormatA8L8 : kFormatL8;
    png_set_bgr(png);
    if (!alpha)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    return alpha ? kFormatA8R8G8B8 : kFormatX8R8G8B8;
}

// The decoding itself, between the jump's start and every way out. Nothing
// here holds memory of its own while libpng runs: a jump back leaves nothing
// behind but libpng's structures, which are destroyed there.
DecodeResult Decode(const PngFacts& facts, DecodedImage& image, Reading& reading)
{
    // Declared before the jump's start, so a jump back ends no object's life.
    DecodeResult laidOut;
    if (setjmp(reading.jump)) {
        png_destroy_read_struct(&reading.png, &reading.info, nullptr);
        return DecodeResult::Invalid(reading.message);
    }
    reading.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reading, Fail, Warn);
    if (reading.png == nullptr)
        return {DecodeStatus::OutOfMemory, "not enough memory to read the PNG file"};
    reading.info = png_create_info_struct(reading.png);
    if (reading.info == nullptr) {
        png_destroy_read_struct(&reading.png, nullptr, nullptr);
        return {DecodeStatus::OutOfMemory, "not enough memory to read the PNG file"};
    }
    png_set_read_fn(reading.png, &reading, ReadBytes);
    png_set_user_limits(reading.png, kMaxImageSide, kMaxImageSide);
    png_set_chunk_malloc_max(reading.png, kChunkBytes);
    png_set_chunk_cache_max(reading.png, kChunksKept);
    // Only the chunks that make the texels are read; the others are skipped unread.
    png_set_keep_unknown_chunks(reading.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    // A chunk's failing checksum is only a warning, which passes: damage
    // shows in the compressed texels' own check, which libpng makes only
    // while it computes the checksums of the chunks that make the texels.
    png_set_crc_action(reading.png, PNG_CRC_WARN_USE, PNG_CRC_QUIET_USE);
    png_read_info(reading.png, reading.info);

    const uint64_t width = png_get_image_width(reading.png, reading.info);
    const uint64_t height = png_get_image_height(reading.png, reading.info);
    const bool interlaced = png_get_interlace_type(reading.png, reading.info) != PNG_INTERLACE_NONE;
    // Every row is a filter byte and its samples; an interlaced image's passes
    // take a little more, at most a row of each of its seven passes.
    const uint64_t samples = width * png_get_channels(reading.png, reading.info);
    const uint64_t rowBytes = (samples * png_get_bit_depth(reading.png, reading.info) + 7) / 8 + 1;
    if (rowBytes * height > facts.compressed * kDeflateBytesPerByte + (interlaced ? 7 * rowBytes : 0)) {
        png_destroy_read_struct(&reading.png, &reading.info, nullptr);
        return DecodeResult::Invalid("PNG of " + Size(width, height) + " cannot be in " +
                                     std::to_string(facts.compressed) + " bytes of compressed texels");
    }

    image.fileType = ImageFileType::Png;
    image.format = AskForTexels(reading.png, reading.info, reading.table);
    image.width = uint32_t(width);
    image.height = uint32_t(height);
    const int passes = png_set_interlace_handling(reading.png);
    png_read_update_info(reading.png, reading.info);
    // libpng writes whole rows of the image's texels (or of indices, a byte
    // each), never more.
    if (png_get_rowbytes(reading.png, reading.info) !=
        width * (reading.table.entries > 0 ? 1 : BytesPerTexel(image.format))) {
        png_destroy_read_struct(&reading.png, &reading.info, nullptr);
        return DecodeResult::Invalid("PNG whose rows libpng does not make as texels of format " +
                                     std::to_string(image.format));
    }
    try {
        laidOut = LayOutImage(image, width * height * BytesPerTexel(image.format));
    } catch (const std::bad_alloc&) {
        laidOut = {DecodeStatus::OutOfMemory, "not enough memory for the texels"};
    }
    if (!laidOut.Ok()) {
        png_destroy_read_struct(&reading.png, &reading.info, nullptr);
        return laidOut;
    }

    // Each pass of an interlaced image puts its texels into the same rows of
    // the image, among those of the passes before; a row is whole once the
    // last pass has been over it. The last row read the compressed texels to
    // their end, and their check.
    const uint32_t pitch = image.subresources[0].rowPitch;
    for (int pass = 0; pass < passes; ++pass)
        for (uint32_t y = 0; y < image.height; ++y) {
            uint8_t* row = image.bytes.data() + size_t(y) * pitch;
            png_read_row(reading.png, row, nullptr);
            uint32_t bad = 0;
            if (reading.table.entries > 0 && pass == passes - 1 && !reading.table.LookUp(row, image.width, bad)) {
                png_destroy_read_struct(&reading.png, &reading.info, nullptr);
                return DecodeResult::Invalid("damaged PNG file (colour index " + std::to_string(bad) +
                                             " outside its table of " + std::to_string(reading.table.entries) +
                                             " entries)");
            }
        }
    png_destroy_read_struct(&reading.png, &reading.info, nullptr);
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
            PngFacts facts;
            if (DecodeResult result = ReadPngFacts(bytes, length, facts); !result.Ok())
                return result;
            if (facts.width == 0 || facts.height == 0 || facts.width > kMaxImageSide || facts.height > kMaxImageSide)
                return DecodeResult::Invalid("PNG of " + Size(facts.width, facts.height) + " is not from 1 to " +
                                             std::to_string(kMaxImageSide) + " texels a side");
            Reading reading;
            reading.data = bytes;
            reading.size = length;
            return Decode(facts, image, reading);
        },
        data, size, out);
}

} // namespace gfx
