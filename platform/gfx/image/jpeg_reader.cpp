#include "platform/gfx/image/jpeg_reader.h"

#include <csetjmp>
#include <cstdio> // jpeglib.h wants FILE and size_t declared first
#include <cstring>
#include <new>
#include <string>

#include <jerror.h>
#include <jpeglib.h>

#include "platform/gfx/device/format.h"

namespace gfx {

namespace {

// A block of 8 x 8 texels takes at least one bit in every scan.
constexpr uint64_t kTexelsPerByte = 8 * 64;
// Each scan goes over every block of its components again, however few
// bytes it holds. A writer's progression takes some ten scans: a file may
// hold this many, and decode at most this many blocks for each of its bytes
// (32 passes over the blocks of an image as large as its bytes allow).
constexpr int kMostScans = 100;
constexpr uint64_t kBlocksPerByte = 8 * 32;
// What a decode holds at its peak, its texels and the coefficients beside
// them: no more than the largest image of four bytes a texel, 1 GiB.
constexpr uint64_t kMostHeldBytes = uint64_t(kMaxImageSide) * kMaxImageSide * 4;

// libjpeg-turbo reports a failure by calling error_exit, which must not
// return: it jumps back to where the decoding started, with the message.
struct Failure {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX + 32]; // libjpeg's message, after the scan that gave it
    uint64_t fileBytes = 0;
    uint64_t blocks = 0; // decoded by the scans begun so far
    int scan = 0;        // the last scan begun
};

Failure& FailureOf(j_common_ptr info) { return *reinterpret_cast<Failure*>(info->err); }

[[noreturn]] void Fail(j_common_ptr info)
{
    Failure& failure = FailureOf(info);
    info->err->format_message(info, failure.message);
    std::longjmp(failure.jump, 1);
}

// Warnings that the texels are damaged or missing end the decoding; the
// others (about markers that describe the picture) pass.
bool TexelsDamaged(int code)
{
    return code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_HUFF_BAD_CODE ||
           code == JWRN_BOGUS_PROGRESSION || code == JWRN_MUST_RESYNC || code == JWRN_NOT_SEQUENTIAL;
}

void Warn(j_common_ptr info, int level)
{
    if (level >= 0 || !TexelsDamaged(info->err->msg_code))
        return;
    Failure& failure = FailureOf(info);
    if (info->err->msg_code == JWRN_JPEG_EOF) {
        std::snprintf(failure.message, sizeof failure.message, "the file ends inside its texels");
    } else {
        char said[JMSG_LENGTH_MAX];
        info->err->format_message(info, said);
        std::snprintf(failure.message, sizeof failure.message, "scan %d: %s", failure.scan, said);
    }
    std::longjmp(failure.jump, 1);
}

// Called before each stretch of decoding: a new scan is counted, with the
// blocks it will go over, before any of them is decoded.
void CountScans(j_common_ptr info)
{
    const auto* decoder = reinterpret_cast<j_decompress_ptr>(info);
    Failure& failure = FailureOf(info);
    if (decoder->input_scan_number <= failure.scan)
        return;
    failure.scan = decoder->input_scan_number;
    if (failure.scan > kMostScans) {
        std::snprintf(failure.message, sizeof failure.message, "scan %d: more than %d scans", failure.scan, kMostScans);
        std::longjmp(failure.jump, 1);
    }
    for (int i = 0; i < decoder->comps_in_scan; ++i)
        failure.blocks += uint64_t(decoder->cur_comp_info[i]->width_in_blocks) * decoder->cur_comp_info[i]->height_in_blocks;
    if (failure.blocks > failure.fileBytes * kBlocksPerByte) {
        std::snprintf(failure.message, sizeof failure.message,
                      "scan %d: its scans go over more than %llu blocks for the file's %llu bytes", failure.scan,
                      static_cast<unsigned long long>(failure.fileBytes * kBlocksPerByte),
                      static_cast<unsigned long long>(failure.fileBytes));
        std::longjmp(failure.jump, 1);
    }
}

// A file refused by its header alone, before anything is taken for it. A
// file of several scans keeps every component's coefficients, 64 of two
// bytes a block, the blocks padded to whole units of its sampling, until its
// last scan is read; its texels are laid out beside them. Asked before any
// string is made, as libjpeg may jump out of its calls.
DecodeResult Unheld(jpeg_decompress_struct& info, size_t fileBytes, uint64_t texelBytes)
{
    const bool scans = jpeg_has_multiple_scans(&info);
    const uint64_t width = info.image_width, height = info.image_height;
    const std::string named = "JPEG of " + std::to_string(width) + " x " + std::to_string(height);
    if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide)
        return DecodeResult::Invalid(named + " is not from 1 to " + std::to_string(kMaxImageSide) + " texels a side");
    if (width * height > uint64_t(fileBytes) * kTexelsPerByte)
        return DecodeResult::Invalid(named + " cannot be in " + std::to_string(fileBytes) + " bytes");
    uint64_t blocks = 0;
    for (int i = 0; i < info.num_components && scans; ++i) {
        const jpeg_component_info& c = info.comp_info[i];
        const auto padded = [](uint64_t count, uint64_t unit) { return (count + unit - 1) / unit * unit; };
        blocks += padded(c.width_in_blocks, c.h_samp_factor) * padded(c.height_in_blocks, c.v_samp_factor);
    }
    const uint64_t coefficients = blocks * sizeof(JBLOCK);
    if (texelBytes + coefficients <= kMostHeldBytes)
        return {};
    return DecodeResult::Invalid(named + " would hold " + std::to_string(coefficients) + " bytes of coefficients beside " +
                                 std::to_string(texelBytes) + " of texels, more than the " +
                                 std::to_string(kMostHeldBytes) + " bytes (1 GiB) a decode may hold");
}

// Turns a row of CMYK into B, G, R, 255 in place. Adobe's files store the
// inks inverted, as most writers of CMYK JPEG do.
void InksToColour(uint8_t* row, uint32_t width, bool inverted)
{
    for (uint32_t x = 0; x < width; ++x, row += 4) {
        const uint32_t c = row[0], m = row[1], y = row[2], k = row[3];
        const auto channel = [&](uint32_t ink) {
            return inverted ? uint8_t((ink * k + 127) / 255) : uint8_t(((255 - ink) * (255 - k) + 127) / 255);
        };
        row[0] = channel(y);
        row[1] = channel(m);
        row[2] = channel(c);
        row[3] = 0xFF;
    }
}

// The decoding itself, between the jump's start and every way out. Nothing
// here holds memory of its own: a jump back leaves nothing behind but the
// decoder, which is destroyed there.
DecodeResult Decode(const uint8_t* data, size_t size, DecodedImage& image, jpeg_decompress_struct& info,
                    Failure& failure)
{
    jpeg_progress_mgr progress{};
    progress.progress_monitor = CountScans;
    info.err = jpeg_std_error(&failure.manager);
    failure.fileBytes = size;
    failure.manager.error_exit = Fail;
    failure.manager.emit_message = Warn;
    // Declared before the jump's start, so a jump back ends no object's life.
    DecodeResult laidOut;
    if (setjmp(failure.jump)) {
        jpeg_destroy_decompress(&info);
        return DecodeResult::Invalid(std::string("damaged JPEG file (") + failure.message + ")");
    }
    jpeg_create_decompress(&info);
    info.progress = &progress;
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    const bool grey = info.num_components == 1;
    image.fileType = ImageFileType::Jpg;
    image.format = grey ? kFormatL8 : kFormatX8R8G8B8;
    image.width = info.image_width;
    image.height = info.image_height;
    const uint64_t texelBytes = uint64_t(image.width) * image.height * BytesPerTexel(image.format);
    laidOut = Unheld(info, size, texelBytes);
    if (!laidOut.Ok()) {
        jpeg_destroy_decompress(&info);
        return laidOut;
    }
    const bool inks = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = grey ? JCS_GRAYSCALE : inks ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    try {
        laidOut = LayOutImage(image, texelBytes);
    } catch (const std::bad_alloc&) {
        laidOut = {DecodeStatus::OutOfMemory, "not enough memory for the texels"};
    }
    if (!laidOut.Ok()) {
        jpeg_destroy_decompress(&info);
        return laidOut;
    }
    const uint32_t pitch = image.subresources[0].rowPitch;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.bytes.data() + size_t(info.output_scanline) * pitch;
        jpeg_read_scanlines(&info, &row, 1);
        if (inks)
            InksToColour(row, image.width, info.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return {};
}

} // namespace

bool LooksLikeJpeg(const uint8_t* data, size_t size)
{
    return data != nullptr && size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

DecodeResult ReadJpeg(const uint8_t* data, size_t size, DecodedImage& out)
{
    return DecodeFresh(
        [](const uint8_t* bytes, size_t length, DecodedImage& image) {
            if (!LooksLikeJpeg(bytes, length))
                return DecodeResult::Invalid("not a JPEG file");
            jpeg_decompress_struct info{};
            Failure failure{};
            return Decode(bytes, length, image, info, failure);
        },
        data, size, out);
}

} // namespace gfx
