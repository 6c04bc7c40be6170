#include "platform/gfx/image/image_decode.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "image_file_writers.h"
#include "jpeg_writer.h"
#include "png_writer.h"
#include "resident_peak.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/image/bmp_reader.h"
#include "platform/gfx/image/dds_reader.h"
#include "platform/gfx/image/hdr_reader.h"
#include "platform/gfx/image/jpeg_reader.h"
#include "platform/gfx/image/png_reader.h"
#include "platform/gfx/image/pnm_reader.h"
#include "platform/gfx/image/tga_reader.h"
#include "testing/dds_writer.h"
#include "testing/test_files.h"

using gfx::DecodedImage;
using gfx::DecodeResult;
using gfx::DecodeStatus;
using gfx::ImageKind;
using platform::testing::DdsSpec;
using platform::testing::PatternTexels;
using platform::testing::WriteDds;

namespace {

std::vector<uint8_t> Bytes(const DecodedImage& image)
{
    return {image.bytes.begin(), image.bytes.end()};
}

DecodeResult Decode(const std::vector<uint8_t>& file, DecodedImage& image)
{
    return gfx::DecodeImage(file.data(), file.size(), image);
}

// Refused with a reason, and before memory was taken for what the file
// claims: the decoding's peak stays below `mostBytes`.
void ExpectInvalid(const std::vector<uint8_t>& file, const std::string& reasonPart = "", uint64_t mostBytes = 1u << 20)
{
    DecodedImage image;
    const image_files::ResidentPeak peak;
    const DecodeResult result = Decode(file, image);
    if (image_files::ResidentPeak::Measurable()) {
        EXPECT_LT(peak.Growth(), mostBytes) << result.reason;
    }
    EXPECT_EQ(result.status, DecodeStatus::InvalidData) << "reason: " << result.reason;
    EXPECT_FALSE(result.reason.empty());
    if (!reasonPart.empty()) {
        EXPECT_NE(result.reason.find(reasonPart), std::string::npos) << result.reason;
    }
    EXPECT_TRUE(image.bytes.empty());
    EXPECT_TRUE(image.subresources.empty());
}

// Decodes a file written from `spec` and checks every face and level against the
// texels written, level sizes worked out here by hand (halving, at least 1).
void ExpectDdsRoundTrip(const DdsSpec& spec)
{
    SCOPED_TRACE("format " + std::to_string(spec.format) + " " + std::to_string(spec.width) + "x" +
                 std::to_string(spec.height) + "x" + std::to_string(spec.depth) + " levels " +
                 std::to_string(spec.levels));
    const std::vector<uint8_t> texels = PatternTexels(spec, spec.format + spec.levels);
    const std::vector<uint8_t> file = WriteDds(spec, texels);
    DecodedImage image;
    const DecodeResult result = Decode(file, image);
    ASSERT_TRUE(result.Ok()) << result.reason;
    EXPECT_EQ(image.fileType, gfx::ImageFileType::Dds);
    EXPECT_EQ(image.kind, spec.kind);
    EXPECT_EQ(image.format, spec.format);
    EXPECT_EQ(image.width, spec.width);
    EXPECT_EQ(image.height, spec.height);
    EXPECT_EQ(image.depth, spec.kind == ImageKind::Volume ? spec.depth : 1u);
    EXPECT_EQ(image.levels, spec.levels);
    EXPECT_EQ(image.faces, spec.kind == ImageKind::Cube ? 6u : 1u);
    ASSERT_EQ(image.subresources.size(), size_t(image.faces) * spec.levels);
    EXPECT_EQ(Bytes(image), texels);

    const bool blocks = gfx::IsBlockCompressed(spec.format);
    size_t offset = 0;
    for (uint32_t face = 0; face < image.faces; ++face) {
        uint32_t w = spec.width, h = spec.height, d = spec.kind == ImageKind::Volume ? spec.depth : 1;
        for (uint32_t level = 0; level < spec.levels; ++level) {
            const gfx::ImageSubresource& sub = image.Subresource(face, level);
            EXPECT_EQ(sub.face, face);
            EXPECT_EQ(sub.level, level);
            EXPECT_EQ(sub.width, w);
            EXPECT_EQ(sub.height, h);
            EXPECT_EQ(sub.depth, d);
            uint32_t pitch, rows;
            if (blocks) {
                pitch = (w + 3) / 4 * (spec.format == gfx::kFormatDXT1 ? 8 : 16);
                rows = (h + 3) / 4;
            } else {
                pitch = w * gfx::BytesPerTexel(spec.format);
                rows = h;
            }
            EXPECT_EQ(sub.rowPitch, pitch);
            EXPECT_EQ(sub.slicePitch, uint64_t(pitch) * rows);
            EXPECT_EQ(sub.size, size_t(pitch) * rows * d);
            EXPECT_EQ(sub.offset, offset);
            EXPECT_EQ(image.Data(face, level), image.bytes.data() + offset);
            offset += sub.size;
            w = w > 1 ? w / 2 : 1;
            h = h > 1 ? h / 2 : 1;
            d = d > 1 ? d / 2 : 1;
        }
    }
    EXPECT_EQ(offset, texels.size());
}

} // namespace

TEST(DdsDecode, EveryFormatRoundTripsWithAWideMipChain)
{
    const uint32_t formats[] = {
        gfx::kFormatA8R8G8B8, gfx::kFormatX8R8G8B8, gfx::kFormatA8B8G8R8,     gfx::kFormatX8B8G8R8,
        gfx::kFormatR8G8B8,   gfx::kFormatR5G6B5,   gfx::kFormatX1R5G5B5,     gfx::kFormatA1R5G5B5,
        gfx::kFormatA4R4G4B4, gfx::kFormatA8,       gfx::kFormatL8,           gfx::kFormatL16,
        gfx::kFormatA8L8,     gfx::kFormatV8U8,     gfx::kFormatQ8W8V8U8,     gfx::kFormatV16U16,
        gfx::kFormatG16R16,   gfx::kFormatA2B10G10R10, gfx::kFormatA2R10G10B10, gfx::kFormatA16B16G16R16,
        gfx::kFormatR16F,     gfx::kFormatG16R16F,  gfx::kFormatA16B16G16R16F, gfx::kFormatR32F,
        gfx::kFormatG32R32F,  gfx::kFormatA32B32G32R32F, gfx::kFormatDXT1,   gfx::kFormatDXT2,
        gfx::kFormatDXT3,     gfx::kFormatDXT4,     gfx::kFormatDXT5,
    };
    for (uint32_t format : formats) {
        // 16 x 4: levels 16x4, 8x2, 4x1, 2x1, 1x1 - never sized as if square.
        ExpectDdsRoundTrip({format, ImageKind::Texture2D, 16, 4, 1, 5});
        ExpectDdsRoundTrip({format, ImageKind::Texture2D, 3, 7, 1, 1});
    }
}

TEST(DdsDecode, TallOddSizedCubeAndVolumeChainsKeepTheirLevelsFacesAndDepths)
{
    const DdsSpec specs[] = {
        // Block chains keep whole blocks per level: 8 x 2 is 2 blocks, then 1, 1, 1.
        {gfx::kFormatDXT1, ImageKind::Texture2D, 4, 32, 1, 6},
        {gfx::kFormatDXT5, ImageKind::Texture2D, 12, 6, 1, 4},
        {gfx::kFormatDXT3, ImageKind::Texture2D, 1, 1, 1, 1},
        {gfx::kFormatDXT1, ImageKind::Texture2D, 8, 2, 1, 4},
        // Six faces, each with its mips.
        {gfx::kFormatA8R8G8B8, ImageKind::Cube, 8, 8, 1, 4},
        {gfx::kFormatDXT1, ImageKind::Cube, 16, 16, 1, 5},
        {gfx::kFormatA16B16G16R16F, ImageKind::Cube, 4, 4, 1, 1},
        // The depth halves per level.
        {gfx::kFormatA8R8G8B8, ImageKind::Volume, 8, 4, 16, 5},
        {gfx::kFormatL8, ImageKind::Volume, 5, 3, 2, 3},
        {gfx::kFormatDXT5, ImageKind::Volume, 8, 8, 4, 4},
    };
    for (const DdsSpec& spec : specs)
        ExpectDdsRoundTrip(spec);
}

TEST(DdsDecode, ChainOfTheWidePooledTextureIsSizedLevelByLevel)
{
    // The pooled road reads the texels right after the 128-byte header; a
    // 4096 x 2048 DXT1 chain of 3 levels is 4 MiB + 1 MiB + 256 KiB.
    EXPECT_EQ(gfx::MipChainSize(gfx::kFormatDXT1, 4096, 2048, 3), 4194304u + 1048576u + 262144u);
    EXPECT_EQ(gfx::MipChainSize(gfx::kFormatDXT1, 2048, 2048, 2), 2621440u);
    EXPECT_EQ(gfx::FullMipLevels(2048, 2048), 12u);
    EXPECT_EQ(gfx::FullMipLevels(16, 4), 5u);
    EXPECT_EQ(gfx::FullMipLevels(4, 4, 32), 6u);
}

namespace {

// `file` with the little-endian `value` of `size` bytes written at `at`.
std::vector<uint8_t> Patched(std::vector<uint8_t> file, size_t at, uint32_t value, size_t size = 4)
{
    for (size_t k = 0; k < size; ++k)
        file[at + k] = uint8_t(value >> (8 * k));
    return file;
}

uint32_t Code(const char* text)
{
    uint32_t code;
    std::memcpy(&code, text, 4);
    return code;
}

// A DDS header's pixel format: flags, four-character code, bits and the four masks.
using PixelFormat = std::array<uint32_t, 7>;
std::vector<uint8_t> WithPixelFormat(std::vector<uint8_t> file, const PixelFormat& fields)
{
    for (size_t i = 0; i < fields.size(); ++i)
        file = Patched(std::move(file), 80 + 4 * i, fields[i]);
    return file;
}

// Every file cut short, but for its last `spared` bytes, is refused with a reason.
void ExpectEveryCutRefused(const std::vector<uint8_t>& file, size_t spared = 0)
{
    for (size_t length = 0; length + spared < file.size(); ++length) {
        SCOPED_TRACE("cut to " + std::to_string(length) + " bytes");
        ExpectInvalid({file.begin(), file.begin() + std::ptrdiff_t(length)});
    }
}

std::vector<uint8_t> Bgr(const std::vector<uint8_t>& bgra)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < bgra.size(); i += 4)
        out.insert(out.end(), bgra.begin() + std::ptrdiff_t(i), bgra.begin() + std::ptrdiff_t(i + 3));
    return out;
}

image_files::TgaOptions Tga(uint32_t bits, bool runLength)
{
    return {.bits = bits, .runLength = runLength, .alphaBits = uint8_t(bits == 32 ? 8 : 0)};
}

// `file` without its last `bytes` bytes.
std::vector<uint8_t> Cut(const std::vector<uint8_t>& file, size_t bytes)
{
    return {file.begin(), file.end() - std::ptrdiff_t(bytes)};
}

std::vector<uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }

const std::filesystem::path kSeeds = std::filesystem::path(ZANDREL_SOURCE_DIR) / "fuzz/corpus/image_decode";
// Where the first `code` marker of a JPEG file is.
size_t Marker(const std::vector<uint8_t>& jpeg, uint8_t code)
{
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == code)
            return i;
    ADD_FAILURE() << "no marker " << int(code);
    return 0;
}

} // namespace

TEST(DdsDecode, DamagedHeadersGiveInvalidDataWithAReason)
{
    const std::vector<uint8_t> good = WriteDds({gfx::kFormatA8R8G8B8, ImageKind::Texture2D, 8, 8, 1, 4});
    const std::vector<uint8_t> cube = WriteDds({gfx::kFormatA8R8G8B8, ImageKind::Cube, 4, 4, 1, 1});
    const std::vector<uint8_t> volume = WriteDds({gfx::kFormatL8, ImageKind::Volume, 4, 4, 4, 1});
    const std::pair<std::vector<uint8_t>, const char*> cases[] = {
        {Patched(good, 4, 100), "header size"},
        {Patched(good, 76, 0), "pixel format size"},
        {Patched(good, 16, 0), "size of 0"}, // width
        {Patched(good, 12, 0), "size of 0"}, // height
        {Patched(good, 16, 1u << 30), "larger than"}, // absurd width, tiny file
        {Patched(good, 80, 0), "no kind of texel"},
        {WithPixelFormat(good, {0x4, Code("DX10")}), "DX10"},
        {Patched(cube, 112, 0x200), "without any face"},
        {Patched(cube, 12, 2), "not square"}, // height 2, width 4
        {Patched(volume, 24, 0), "size of 0"},
        {Patched(volume, 24, 1u << 20), "volume depth"},
        {Cut(WriteDds({gfx::kFormatDXT1, ImageKind::Texture2D, 8, 8, 1, 1}), 1), "truncated"},
        // 16384 x 16384 x 4 levels of A32B32G32R32F would be well over 4 GiB:
        // a huge claim in a small file allocates nothing.
        {WriteDds({gfx::kFormatA32B32G32R32F, ImageKind::Cube, 16384, 16384, 1, 4}, std::vector<uint8_t>(64, 1)),
         "truncated"},
    };
    for (const auto& [file, reason] : cases) {
        SCOPED_TRACE(reason);
        ExpectInvalid(file, reason);
    }
}

TEST(DdsDecode, PixelFormatsLoadAsTheFormatTheyMeanOrAreRefusedByNameWhereTheDeviceHasNone)
{
    const struct {
        const char* what; // for a refusal, what its reason names
        PixelFormat fields;
        uint32_t format; // the format the texels arrive in, 0 where refused
    } cases[] = {
        {"a format number in the code", {0x4, gfx::kFormatA8R8G8B8}, gfx::kFormatA8R8G8B8},
        {"L8 by number", {0x4, gfx::kFormatL8}, gfx::kFormatL8},
        {"Q8W8V8U8 by number", {0x4, gfx::kFormatQ8W8V8U8}, gfx::kFormatQ8W8V8U8},
        {"A16B16G16R16 by number", {0x4, gfx::kFormatA16B16G16R16}, gfx::kFormatA16B16G16R16},
        {"A8 flagged alpha pixels", {0x1, 0, 8, 0, 0, 0, 0xFF}, gfx::kFormatA8},
        {"A8 flagged alpha only", {0x2, 0, 8, 0, 0, 0, 0xFF}, gfx::kFormatA8},
        {"L8 flagged RGB", {0x40, 0, 8, 0xFF}, gfx::kFormatL8},
        {"L16 flagged RGB", {0x40, 0, 16, 0xFFFF}, gfx::kFormatL16},
        {"A8L8 flagged RGB and alpha", {0x41, 0, 16, 0xFF, 0, 0, 0xFF00}, gfx::kFormatA8L8},
        {"an alpha mask not flagged", {0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}, gfx::kFormatX8R8G8B8},
        {"'ATI1' (one channel in 4 x 4 blocks", {0x4, Code("ATI1")}, 0},
        {"'ATI2' (two channels in 4 x 4 blocks", {0x4, Code("ATI2")}, 0},
        {"'BC5U'", {0x4, Code("BC5U")}, 0},
        {"YUV", {0x4, Code("YUY2")}, 0},
        {"'ABCD'", {0x4, Code("ABCD")}, 0},
        {"P8 (format 41)", {0x4, 41}, 0},
        {"Q16W16V16U16 (format 110)", {0x4, 110}, 0},
        {"D24S8 (format 75)", {0x4, gfx::kFormatD24S8}, 0},
        {"format number 200", {0x4, 200}, 0},
        {"B5G6R5", {0x40, 0, 16, 0x001F, 0x07E0, 0xF800}, 0},
        {"X4R4G4B4", {0x40, 0, 16, 0x0F00, 0x00F0, 0x000F}, 0},
        {"A4L4", {0x20000 | 0x1, 0, 8, 0x0F, 0, 0, 0xF0}, 0},
        {"L6V5U5", {0x80000, 0, 16, 0x001F, 0x03E0, 0xFC00}, 0},
        {"17-bit texels with the masks red 0x00000001", {0x40, 0, 17, 0x1, 0x2, 0x4}, 0},
        {"YUV", {0x200, 0, 16}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const DdsSpec spec{c.format ? c.format : gfx::kFormatA8R8G8B8, ImageKind::Texture2D, 4, 2, 1, 2};
        const std::vector<uint8_t> texels = PatternTexels(spec, 9);
        DecodedImage image;
        const DecodeResult result = Decode(WithPixelFormat(WriteDds(spec, texels), c.fields), image);
        if (c.format) {
            ASSERT_TRUE(result.Ok()) << result.reason;
            EXPECT_EQ(image.format, c.format);
            EXPECT_EQ(Bytes(image), texels);
            continue;
        }
        EXPECT_EQ(result.status, DecodeStatus::NoSuchFormat) << result.reason;
        EXPECT_NE(result.reason.find(c.what), std::string::npos) << result.reason;
        EXPECT_NE(result.reason.find("a format the device here has not"), std::string::npos) << result.reason;
        EXPECT_EQ(result.reason.find('\n'), std::string::npos);
        EXPECT_TRUE(image.bytes.empty());
    }
}

TEST(DdsDecode, APartialCubeLoadsItsFacesAndLeavesTheOthersBlack)
{
    const DdsSpec face{gfx::kFormatA8R8G8B8, ImageKind::Texture2D, 4, 4, 1, 3};
    const size_t faceBytes = PatternTexels(face).size();
    // +X, +Y and -Z: three faces in the file, one after another.
    const std::vector<uint8_t> texels = PatternTexels({gfx::kFormatA8R8G8B8, ImageKind::Cube, 4, 4, 1, 3}, 5);
    const std::vector<uint8_t> file = Patched(WriteDds({gfx::kFormatA8R8G8B8, ImageKind::Cube, 4, 4, 1, 3},
                                                       {texels.begin(), texels.begin() + std::ptrdiff_t(3 * faceBytes)}),
                                              112, 0x200 | 0x400 | 0x1000 | 0x8000);
    DecodedImage image;
    const DecodeResult result = Decode(file, image);
    ASSERT_TRUE(result.Ok()) << result.reason;
    EXPECT_EQ(image.kind, ImageKind::Cube);
    ASSERT_EQ(image.bytes.size(), 6 * faceBytes);
    const int held[6] = {0, -1, 1, -1, -1, 2};
    for (size_t f = 0; f < 6; ++f) {
        const auto face = [&](const std::vector<uint8_t>& bytes, size_t at) {
            return std::vector<uint8_t>(bytes.begin() + std::ptrdiff_t(at * faceBytes),
                                        bytes.begin() + std::ptrdiff_t((at + 1) * faceBytes));
        };
        EXPECT_EQ(face(Bytes(image), f), held[f] < 0 ? std::vector<uint8_t>(faceBytes, 0) : face(texels, size_t(held[f])))
            << "face " << f;
    }
    ExpectInvalid(Cut(file, 1), "truncated");
}

TEST(DdsDecode, AMipCountOfZeroMeansTheTopLevelAndOnePastTheChainTheWholeChain)
{
    const DdsSpec spec{gfx::kFormatDXT1, ImageKind::Texture2D, 8, 2, 1, 4};
    const std::vector<uint8_t> texels = PatternTexels(spec, 3);
    // With the count 0 the levels below the top are trailing bytes, ignored.
    for (const auto& [count, levels, bytes] : {std::tuple{0u, 1u, 16u}, {5u, 4u, 40u}, {9u, 4u, 40u}, {~0u, 4u, 40u}}) {
        DecodedImage image;
        const DecodeResult result = Decode(Patched(WriteDds(spec, texels), 28, count), image);
        ASSERT_TRUE(result.Ok()) << result.reason;
        EXPECT_EQ(image.levels, levels) << count;
        EXPECT_EQ(Bytes(image), std::vector<uint8_t>(texels.begin(), texels.begin() + bytes)) << count;
    }
}

TEST(TgaDecode, RunLengthFileReallyUsesRepeatPackets)
{
    // A flat picture compresses well: proves the run-length road was taken.
    const std::vector<uint8_t> picture(64 * 64 * 4, 0x55);
    const std::vector<uint8_t> file = image_files::WriteTga(64, 64, picture, Tga(32, true));
    EXPECT_LT(file.size(), 300u);
    DecodedImage image;
    ASSERT_TRUE(Decode(file, image).Ok());
    EXPECT_EQ(Bytes(image), picture);
}

TEST(ImageDecode, DamagedFilesOfEachKindGiveInvalidDataWithAReason)
{
    using namespace image_files;
    const std::vector<uint8_t> picture = TestPicture(9, 5, true);
    const std::vector<uint8_t> tga = WriteTga(9, 5, picture, Tga(32, false));
    const std::vector<uint8_t> tgaRuns = WriteTga(9, 5, picture, Tga(32, true));
    const TgaOptions mapped{.bits = 8, .type = 1, .runLength = true, .mapBits = 24, .map = std::vector<uint8_t>(12, 9)};
    std::vector<uint8_t> longId = Patched(tga, 0, 0xFF, 1);
    longId.resize(100);
    const std::vector<uint8_t> bmp = WriteBmp(6, 3, Bgr(TestPicture(6, 3, false)), {});
    const std::vector<uint8_t> bmpRuns = WriteBmp(6, 3, std::vector<uint8_t>(18, 2),
                                                  {.bits = 8, .compression = 1, .table = std::vector<uint8_t>(4 * 256, 7)});
    const std::vector<uint8_t> png = WritePng(8, 8, std::vector<uint16_t>(8 * 8 * 4, 77), {6, 8});
    // A transparent colour after the texels it would make transparent (its checksum unset).
    std::vector<uint8_t> lateTransparency = Cut(png, 12);
    lateTransparency.insert(lateTransparency.end(), {0, 0, 0, 2, 't', 'R', 'N', 'S', 0, 77, 0, 0, 0, 0});
    lateTransparency.insert(lateTransparency.end(), png.end() - 12, png.end());
    // A critical chunk of a kind unknown, before the texels.
    std::vector<uint8_t> unknownChunk = png;
    unknownChunk.insert(unknownChunk.begin() + 33, {0, 0, 0, 0, 'Z', 'Z', 'Z', 'Z', 0, 0, 0, 0});
    const std::vector<uint8_t> jpeg = WriteJpeg(16, 16, 1, std::vector<uint8_t>(256, 90), false);
    const size_t frame = Marker(jpeg, 0xC0);
    std::vector<uint8_t> overlongTable = jpeg;
    std::fill_n(overlongTable.begin() + std::ptrdiff_t(Marker(jpeg, 0xC4) + 5), 16, 0x20);
    std::vector<uint8_t> rgbe(16 * 2 * 4);
    for (size_t i = 0; i < rgbe.size(); ++i)
        rgbe[i] = uint8_t(i % 5 == 0 ? 130 : i * 7);
    const std::vector<uint8_t> hdrRuns = WriteHdr(16, 2, rgbe, true);
    const size_t texelsAt = std::string(hdrRuns.begin(), hdrRuns.end()).find("+X 16\n") + 6;
    // Many texels claimed by files of some of their rows, or of run-length packets of the most texels.
    std::vector<uint8_t> hdrShort = Text("#?RADIANCE\n\n-Y 4096 +X 4096\n");
    const std::vector<uint8_t> hdrRow = WriteHdr(4096, 1, std::vector<uint8_t>(4096 * 4, 130), true);
    for (int row = 0; row < 2000; ++row)
        hdrShort.insert(hdrShort.end(), hdrRow.end() - 268, hdrRow.end());
    std::vector<uint8_t> tgaClaim = WriteTga(1, 1, {7}, {.bits = 8, .type = 3, .runLength = true});
    tgaClaim = Patched(Patched(Cut(tgaClaim, 2), 12, 16384, 2), 14, 16384, 2);
    for (int packet = 0; packet < 16384 * 16384 / 256; ++packet)
        tgaClaim.insert(tgaClaim.end(), {0xFF, 7});
    // Scans each going over the whole image: empty ones after a progressive
    // file's own, more than a file may hold, more than a flat picture's bytes allow.
    std::vector<uint8_t> emptyScans = WriteJpeg(16, 16, 1, std::vector<uint8_t>(256, 90), true);
    emptyScans.resize(emptyScans.size() - 2);
    for (int scan = 0; scan < 500; ++scan)
        emptyScans.insert(emptyScans.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 0, 0});
    emptyScans.insert(emptyScans.end(), {0xFF, 0xD9});

    // Cut anywhere, each is refused; but for a text file cut within its last
    // sample, which still holds a sample there, and PNG's end chunk, which holds nothing.
    struct Cuts {
        std::string name;
        std::vector<uint8_t> file;
        size_t spared = 0;
    };
    std::vector<Cuts> cuts = {
        {"TGA", tga}, {"TGA run-length", tgaRuns},
        {"TGA colour-mapped", WriteTga(9, 5, std::vector<uint8_t>(9 * 5, 3), mapped)},
        {"BMP", bmp}, {"BMP RLE8", bmpRuns}, {"PFM", WritePfm(3, 2, 3, std::vector<float>(18, 0.5f), true)},
        {"PNG", png, 12}, {"JPEG", jpeg}, {"JPEG progressive", WriteJpeg(9, 9, 3, std::vector<uint8_t>(243, 60), true)},
        {"HDR", WriteHdr(16, 2, rgbe, false)}, {"HDR run-length", hdrRuns},
        {"DDS DXT1 chain", WriteDds({gfx::kFormatDXT1, ImageKind::Texture2D, 8, 8, 1, 4})},
        {"DDS cube", WriteDds({gfx::kFormatR5G6B5, ImageKind::Cube, 2, 2, 1, 2})},
        {"DDS volume", WriteDds({gfx::kFormatL8, ImageKind::Volume, 4, 2, 2, 3})},
    };
    for (char kind : {'1', '2', '3', '4', '5', '6'})
        cuts.push_back({std::string("P") + kind,
                        WritePnm(kind, 4, 3, kind == '1' || kind == '4' ? 1 : 255, std::vector<uint32_t>(36, 1)),
                        size_t(kind <= '3' ? 2 : 0)});
    for (const Cuts& c : cuts) {
        SCOPED_TRACE(c.name);
        ExpectEveryCutRefused(c.file, c.spared);
    }

    const std::pair<std::vector<uint8_t>, const char*> cases[] = {
        {Patched(tga, 16, 8, 1), "true-colour TGA of 8 bits"},
        {Patched(tga, 2, 1, 1), "without a colour map"},
        {Patched(tga, 2, 3, 1), "grey TGA of 32 bits"},
        {Patched(tga, 12, 0xFFFF, 2), "TGA of 65535 x 5 is larger than 16384 texels a side"},
        {tgaClaim, "268435456 texels cannot be in 2097152 bytes of run-length packets (at most 128 texels a packet"},
        {longId, "image id"},
        {Patched(tgaRuns, 12, 0x3FFF3FFF), "cannot be in"}, // far more than the run-length packets could hold
        {WriteTga(9, 5, std::vector<uint8_t>(9 * 5, 4), mapped), "index 4 outside"},
        {Patched(bmp, 28, 7, 2), "7 bits"},
        {Patched(bmp, 28, 8, 2), "colour table of 256 entries"},
        {Patched(bmp, 30, 1), "24 bits in RLE8"},
        {Patched(bmp, 30, 3), "24 bits with channel masks"},
        {Patched(bmp, 30, 4), "JPEG"},
        {Patched(bmp, 30, 5), "PNG"},
        {Patched(bmp, 30, 9), "compression 9"},
        {Patched(bmp, 14, 41), "41 bytes"},
        {Patched(bmp, 18, 0), "no texels"},
        {Patched(bmp, 22, 0x80000000u), "larger than"},
        {Patched(bmp, 18, 100000), "larger than"},
        {Patched(bmp, 18, 1000), "truncated"},
        {Patched(bmp, 26, 2, 2), "planes"},
        {WriteBmp(2, 2, std::vector<uint8_t>(16, 1), {.bits = 32, .compression = 3, .masks = {0xF0F00000, 0xFF00, 0xFF, 0}}),
         "not one run of bits"},
        {WriteBmp(2, 2, std::vector<uint8_t>(8, 1), {.bits = 16, .compression = 3, .masks = {0x1F0000, 0x3E0, 0x1F, 0}}),
         "above its 16 bits"},
        {Patched(Patched(bmpRuns, 18, 16000), 22, 16000), "cannot be in"}, // far more than its runs could hold
        {Text("P6\n2 2\n"), "largest sample"},
        {Text("P5\n99999 2\n255\n"), "at most 16384"},
        {Text("P5\n0 2\n255\n"), "no texels"},
        {Text("P2\n2 1\n255\n12 x\n"), "no sample"},
        {Text("PF\n1 1\n0\n............"), "scale"},
        {Patched(png, 40, png[40] ^ 0x55, 1), "PNG"}, // a byte of the texels' chunk
        // Width 16384, big-endian: far more texels than the compressed bytes
        // can hold (its checksum no longer right, but this is found first).
        {Patched(png, 16, 0x00400000), "cannot be in"},
        // The last byte of the compressed texels' own check, before their chunk's checksum and the end chunk.
        {Patched(png, png.size() - 17, png[png.size() - 17] ^ 1u, 1), "damaged PNG file (IDAT: incorrect data check)"},
        {WritePng(5, 2, {0, 1, 2, 3, 0, 1, 2, 0, 2, 1}, {3, 2, true, std::vector<uint8_t>(9, 40), {}}),
         "damaged PNG file (colour index 3 outside its table of 3 entries)"},
        {lateTransparency, "damaged PNG file (its tRNS chunk after the compressed texels)"},
        {unknownChunk, "damaged PNG file (ZZZZ: unhandled critical chunk)"},
        {Patched(png, 26, 1, 1), "damaged PNG file (Unknown compression method in IHDR)"},
        {WritePng(1, 1, {0}, {0, 2, false, {}, {0, 5}}), "tRNS chunk has out-of-range samples"},
        {Cut(jpeg, jpeg.size() - 3), "JPEG"},
        {Patched(Patched(jpeg, frame + 5, 0x0020, 2), frame + 7, 0x0020, 2), "cannot be in"},
        {overlongTable, "damaged JPEG file (Bogus Huffman table definition)"},
        {emptyScans, "damaged JPEG file (scan 7: Corrupt JPEG data: premature end of data segment)"},
        {WriteJpeg(16, 16, 1, std::vector<uint8_t>(256, 90), false, 127), "scan 101: more than 100 scans"},
        {zandrel_test::ReadBytes(kSeeds / "coefficients_past_bound_refused.jpg"),
         "717750272 bytes of coefficients beside 358875136 of texels, more than the 1073741824 bytes (1 GiB)"},
        // 4:2:0, the luma's 1549 blocks a side padded to 1550.
        {zandrel_test::ReadBytes(kSeeds / "coefficients_padded_past_bound_refused.jpg"),
         "would hold 461280000 bytes of coefficients beside 614246656 of texels"},
        {Patched(hdrRuns, texelsAt + 4, 0, 1), "a run of 0 values"}, // would never end the row
        {Patched(hdrRuns, texelsAt + 4, 128 + 17, 1), "a run of 17 values where 16 remain"},
        {Patched(hdrRuns, texelsAt + 3, 15, 1), "holds 15 texels, not 16"},
        {Text("#?RADIANCE\nFORMAT=32-bit_rle_xyze\n\n-Y 1 +X 1\n\1\1\1\1"), "'32-bit_rle_xyze'"},
        {Text("#?RADIANCE\n\n+X 1 -Y 1\n\1\1\1\1"), "is not \"-Y height +X width\""},
        {Text("#?RADIANCE\n\n-Y 99999 +X 1\n\1\1\1\1"), "not from 1 to 16384"},
        {Text("#?RADIANCE\n\n-Y 1000 +X 1000\n\1\1\1\1"), "cannot be in"},
        {hdrShort, "HDR of 4096 x 4096 cannot be in 536000 bytes (its rows take at least 268 bytes each)"},
        {Text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n"), "truncated HDR header"},
    };
    for (const auto& [file, reason] : cases) {
        SCOPED_TRACE(reason);
        ExpectInvalid(file, reason);
    }
    // Its coefficients are held, two bytes a texel, while its scans are read
    // (and an eighth more as an address sanitizer's shadow).
    ExpectInvalid(WriteJpeg(2048, 2048, 1, std::vector<uint8_t>(2048 * 2048, 90), false, 99), "blocks for the file's",
                  (2048 * 2048 * 2) * 9 / 8 + (1u << 20));

    // Texels said to start inside the headers or past the end start after
    // them; a scan naming tables the file never defines takes the standard
    // ones, as motion JPEG frames do (the writer's own tables are those).
    DecodedImage image, withTables;
    EXPECT_TRUE(Decode(Patched(bmp, 10, 20), image).Ok());
    EXPECT_TRUE(Decode(Patched(bmp, 10, 0xFFFFFFF0u), image).Ok());
    // PNG chunks' checksums (here the header's and the texels') are not looked at.
    DecodedImage checked;
    ASSERT_TRUE(Decode(png, checked).Ok());
    EXPECT_TRUE(Decode(Patched(Patched(png, 29, 0), png.size() - 16, 0), image).Ok());
    EXPECT_EQ(Bytes(image), Bytes(checked));
    const size_t tables = Marker(jpeg, 0xC4);
    std::vector<uint8_t> withoutTables = jpeg;
    withoutTables.erase(withoutTables.begin() + std::ptrdiff_t(tables),
                        withoutTables.begin() + std::ptrdiff_t(tables + 2 + (jpeg[tables + 2] << 8 | jpeg[tables + 3])));
    ASSERT_TRUE(Decode(jpeg, withTables).Ok());
    EXPECT_TRUE(Decode(withoutTables, image).Ok());
    EXPECT_EQ(Bytes(image), Bytes(withTables));
}

TEST(ImageDecode, FileTypeComesFromTheFirstBytes)
{
    const std::vector<uint8_t> dds = WriteDds({gfx::kFormatL8, ImageKind::Texture2D, 2, 2, 1, 1});
    const std::vector<uint8_t> picture = Bgr(image_files::TestPicture(2, 2, false));
    const std::vector<uint8_t> tga = image_files::WriteTga(2, 2, picture, Tga(24, false));
    const std::vector<uint8_t> bmp = image_files::WriteBmp(2, 2, picture, {});
    const std::vector<uint8_t> dib = image_files::WriteBmp(2, 2, picture, {.dib = true});
    const std::vector<uint8_t> png = image_files::WritePng(1, 1, {0}, {0, 8, false, {}, {}});
    const std::vector<uint8_t> jpeg = image_files::WriteJpeg(1, 1, 1, {0}, false);
    const std::vector<uint8_t> hdr = image_files::WriteHdr(1, 1, {1, 2, 3, 4}, false);
    const std::vector<uint8_t> pfm = image_files::WritePfm(1, 1, 1, {1.0f}, true);
    const std::vector<uint8_t> ppm = image_files::WritePnm('6', 1, 1, 255, {1, 2, 3});
    const std::pair<const std::vector<uint8_t>*, gfx::ImageFileType> files[] = {
        {&dds, gfx::ImageFileType::Dds}, {&tga, gfx::ImageFileType::Tga}, {&bmp, gfx::ImageFileType::Bmp},
        {&dib, gfx::ImageFileType::Dib}, {&png, gfx::ImageFileType::Png}, {&jpeg, gfx::ImageFileType::Jpg},
        {&hdr, gfx::ImageFileType::Hdr}, {&pfm, gfx::ImageFileType::Pfm}, {&ppm, gfx::ImageFileType::Pnm},
    };
    for (const auto& [file, type] : files) {
        EXPECT_EQ(gfx::SniffImageFileType(file->data(), file->size()), type);
        DecodedImage image;
        const DecodeResult result = Decode(*file, image);
        EXPECT_TRUE(result.Ok()) << result.reason;
        EXPECT_EQ(image.fileType, type);
    }
    const std::string junk = "This is a text file, not a picture at all.";
    EXPECT_EQ(gfx::SniffImageFileType(junk.data(), junk.size()), gfx::ImageFileType::Unknown);
    ExpectInvalid(std::vector<uint8_t>(junk.begin(), junk.end()), "not a texture file of a kind read here");
    ExpectInvalid({}, "empty");

    DecodedImage image;
    EXPECT_EQ(gfx::DecodeImage(nullptr, 0, image).status, DecodeStatus::InvalidData);
    // Each reader refuses the others' files rather than misreading them.
    EXPECT_FALSE(gfx::ReadDds(tga.data(), tga.size(), image).Ok());
    EXPECT_FALSE(gfx::ReadBmp(dds.data(), dds.size(), image).Ok());
    EXPECT_FALSE(gfx::ReadDib(bmp.data(), bmp.size(), image).Ok());
    EXPECT_FALSE(gfx::ReadTga(dds.data(), dds.size(), image).Ok());
    EXPECT_FALSE(gfx::ReadPng(jpeg.data(), jpeg.size(), image).Ok());
    EXPECT_FALSE(gfx::ReadJpeg(png.data(), png.size(), image).Ok());
    EXPECT_FALSE(gfx::ReadHdr(pfm.data(), pfm.size(), image).Ok());
    EXPECT_FALSE(gfx::ReadPfm(ppm.data(), ppm.size(), image).Ok());
    EXPECT_FALSE(gfx::ReadPnm(pfm.data(), pfm.size(), image).Ok());
}

TEST(ImageDecode, OneImageDecodedIntoAgainAndAgainHoldsExactlyTheLastFile)
{
    const DdsSpec large{gfx::kFormatDXT1, ImageKind::Texture2D, 64, 64, 1, 7};
    const DdsSpec small{gfx::kFormatA8R8G8B8, ImageKind::Texture2D, 8, 4, 1, 2};
    const std::vector<uint8_t> picture = image_files::TestPicture(5, 3, true);
    const std::string junk = "junk junk junk";
    const std::vector<std::vector<uint8_t>> files = {
        WriteDds(large, PatternTexels(large, 1)),
        WriteDds(small, PatternTexels(small, 2)),
        image_files::WriteTga(5, 3, picture, Tga(32, true)),
        WriteDds(large, PatternTexels(large, 3)),
        std::vector<uint8_t>(junk.begin(), junk.end()),
        image_files::WriteBmp(5, 3, picture, {.bits = 32}),
        WriteDds(large, PatternTexels(large, 4)),
    };
    DecodedImage reused;
    const uint8_t* largestBuffer = nullptr;
    for (size_t i = 0; i < files.size(); ++i) {
        DecodedImage fresh;
        const DecodeResult expected = Decode(files[i], fresh);
        const DecodeResult result = Decode(files[i], reused);
        ASSERT_EQ(result.status, expected.status) << "file " << i;
        EXPECT_EQ(Bytes(reused), Bytes(fresh)) << "file " << i;
        EXPECT_EQ(reused.width, fresh.width) << "file " << i;
        EXPECT_EQ(reused.levels, fresh.levels) << "file " << i;
        EXPECT_EQ(reused.subresources.size(), fresh.subresources.size()) << "file " << i;
        if (i == 0) {
            largestBuffer = reused.bytes.data();
        } else if (result.Ok()) {
            EXPECT_EQ(reused.bytes.data(), largestBuffer) << "file " << i << " reuses the buffer the first one made";
        }
    }
}

TEST(ImageDecode, FuzzSeedsMadeByTheScriptDecode)
{
    // fuzz/corpus/image_decode is written by tests/platform/gfx/image/image_make_fuzz_seeds.py;
    // every seed is a good file but those named refused, which are refused in words.
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kSeeds)) {
        const std::vector<uint8_t> bytes = zandrel_test::ReadBytes(entry.path());
        DecodedImage image;
        const DecodeResult result = Decode(bytes, image);
        const bool refused = entry.path().filename().string().find("refused") != std::string::npos;
        EXPECT_EQ(result.Ok(), !refused) << entry.path() << ": " << result.reason;
        ++seeds;
    }
    EXPECT_GE(seeds, 55);
}
