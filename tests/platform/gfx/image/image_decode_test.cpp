#include "platform/gfx/image/image_decode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>

#include "image_file_writers.h"
#include "platform/bytes/byte_writer.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/image/bmp_reader.h"
#include "platform/gfx/image/dds_reader.h"
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

void ExpectInvalid(const std::vector<uint8_t>& file, const std::string& reasonPart = "")
{
    DecodedImage image;
    const DecodeResult result = Decode(file, image);
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

TEST(DdsDecode, TallAndOddSizedBlockChainsKeepWholeBlocksPerLevel)
{
    ExpectDdsRoundTrip({gfx::kFormatDXT1, ImageKind::Texture2D, 4, 32, 1, 6});
    ExpectDdsRoundTrip({gfx::kFormatDXT5, ImageKind::Texture2D, 12, 6, 1, 4});
    ExpectDdsRoundTrip({gfx::kFormatDXT3, ImageKind::Texture2D, 1, 1, 1, 1});

    // 8 x 2 DXT1 with 4 levels: 2 blocks, then 1, 1, 1 (8 bytes each).
    DecodedImage image;
    ASSERT_TRUE(Decode(WriteDds({gfx::kFormatDXT1, ImageKind::Texture2D, 8, 2, 1, 4}), image).Ok());
    EXPECT_EQ(image.bytes.size(), 16u + 8 + 8 + 8);
}

TEST(DdsDecode, CubeMapKeepsSixFacesEachWithItsMips)
{
    ExpectDdsRoundTrip({gfx::kFormatA8R8G8B8, ImageKind::Cube, 8, 8, 1, 4});
    ExpectDdsRoundTrip({gfx::kFormatDXT1, ImageKind::Cube, 16, 16, 1, 5});
    ExpectDdsRoundTrip({gfx::kFormatA16B16G16R16F, ImageKind::Cube, 4, 4, 1, 1});
}

TEST(DdsDecode, VolumeHalvesItsDepthPerLevel)
{
    ExpectDdsRoundTrip({gfx::kFormatA8R8G8B8, ImageKind::Volume, 8, 4, 16, 5});
    ExpectDdsRoundTrip({gfx::kFormatL8, ImageKind::Volume, 5, 3, 2, 3});
    ExpectDdsRoundTrip({gfx::kFormatDXT5, ImageKind::Volume, 8, 8, 4, 4});
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
    const DdsSpec spec{gfx::kFormatDXT1, ImageKind::Texture2D, 64, 16, 1, 7};
    const std::vector<uint8_t> file = WriteDds(spec);
    EXPECT_EQ(file.size(), gfx::kDdsHeaderSize + gfx::MipChainSize(spec.format, 64, 16, 7));
    DecodedImage image;
    ASSERT_TRUE(Decode(file, image).Ok());
    EXPECT_EQ(0, std::memcmp(image.bytes.data(), file.data() + gfx::kDdsHeaderSize, image.bytes.size()));
}

TEST(DdsDecode, MipCountZeroMeansOneLevelAndTrailingBytesAreIgnored)
{
    DdsSpec spec{gfx::kFormatA8R8G8B8, ImageKind::Texture2D, 4, 4, 1, 1};
    std::vector<uint8_t> texels = PatternTexels(spec);
    std::vector<uint8_t> file = WriteDds(spec, texels);
    file[28] = 0; // mip count
    file.push_back(0xEE);
    DecodedImage image;
    ASSERT_TRUE(Decode(file, image).Ok());
    EXPECT_EQ(image.levels, 1u);
    EXPECT_EQ(Bytes(image), texels);
}

TEST(DdsDecode, DamagedHeadersGiveInvalidDataWithAReason)
{
    const DdsSpec good{gfx::kFormatA8R8G8B8, ImageKind::Texture2D, 8, 8, 1, 4};
    auto patched = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> file = WriteDds(good);
        platform::ByteWriter(std::span(file).subspan(at)).U32(value);
        return file;
    };
    ExpectInvalid(patched(4, 100), "header size");
    ExpectInvalid(patched(76, 0), "pixel format size");
    ExpectInvalid(patched(28, 5), "mip levels");       // 8 x 8 has at most 4
    ExpectInvalid(patched(16, 0), "size of 0");         // width
    ExpectInvalid(patched(12, 0), "size of 0");         // height
    ExpectInvalid(patched(16, 1u << 30), "larger than"); // absurd width, tiny file
    ExpectInvalid(patched(28, 0xFFFFFFFF), "mip levels");
    ExpectInvalid(patched(88, 17), "unsupported DDS pixel format");
    ExpectInvalid(patched(80, 0), "no kind of texel");

    std::vector<uint8_t> dx10 = patched(80, 0x4);
    std::memcpy(&dx10[84], "DX10", 4);
    ExpectInvalid(dx10, "DX10");
    std::vector<uint8_t> unknownCode = patched(80, 0x4);
    std::memcpy(&unknownCode[84], "ATI2", 4);
    ExpectInvalid(unknownCode, "'ATI2'");
    std::vector<uint8_t> depthCode = patched(80, 0x4);
    const uint32_t d24s8 = gfx::kFormatD24S8;
    std::memcpy(&depthCode[84], &d24s8, 4);
    ExpectInvalid(depthCode, "four-character code");
}

TEST(DdsDecode, DamagedCubesAndVolumesGiveInvalidData)
{
    std::vector<uint8_t> cube = WriteDds({gfx::kFormatA8R8G8B8, ImageKind::Cube, 4, 4, 1, 1});
    std::vector<uint8_t> fiveFaces = cube;
    const uint32_t caps2 = 0x200 | 0x7C00; // -Z missing
    std::memcpy(&fiveFaces[112], &caps2, 4);
    ExpectInvalid(fiveFaces, "six faces");
    std::vector<uint8_t> oblong = cube;
    oblong[12] = 2; // height 2, width 4
    ExpectInvalid(oblong, "not square");

    std::vector<uint8_t> volume = WriteDds({gfx::kFormatL8, ImageKind::Volume, 4, 4, 4, 1});
    std::vector<uint8_t> flat = volume;
    std::memset(&flat[24], 0, 4);
    ExpectInvalid(flat, "size of 0");
    std::vector<uint8_t> deep = volume;
    const uint32_t depth = 1u << 20;
    std::memcpy(&deep[24], &depth, 4);
    ExpectInvalid(deep, "volume depth");
}

TEST(DdsDecode, EveryTruncationOfAChainGivesInvalidData)
{
    const std::vector<uint8_t> files[] = {
        WriteDds({gfx::kFormatDXT1, ImageKind::Texture2D, 8, 8, 1, 4}),
        WriteDds({gfx::kFormatR5G6B5, ImageKind::Cube, 2, 2, 1, 2}),
        WriteDds({gfx::kFormatL8, ImageKind::Volume, 4, 2, 2, 3}),
    };
    for (const std::vector<uint8_t>& file : files) {
        for (size_t length = 0; length < file.size(); ++length) {
            SCOPED_TRACE(length);
            const std::vector<uint8_t> cut(file.begin(), file.begin() + std::ptrdiff_t(length));
            DecodedImage image;
            const DecodeResult result = Decode(cut, image);
            EXPECT_EQ(result.status, DecodeStatus::InvalidData);
            EXPECT_FALSE(result.reason.empty());
        }
    }
    std::vector<uint8_t> oneShort = WriteDds({gfx::kFormatDXT1, ImageKind::Texture2D, 8, 8, 1, 1});
    oneShort.pop_back();
    ExpectInvalid(oneShort, "truncated");
}

TEST(DdsDecode, AHugeClaimInASmallFileAllocatesNothing)
{
    // 16384 x 16384 x 4 levels of A32B32G32R32F would be well over 4 GiB.
    std::vector<uint8_t> file = WriteDds({gfx::kFormatA32B32G32R32F, ImageKind::Cube, 16384, 16384, 1, 4},
                                         std::vector<uint8_t>(64, 1));
    ExpectInvalid(file, "truncated");
}

TEST(TgaDecode, UncompressedAndRunLengthInBothRowOrdersGiveBgraTexels)
{
    for (uint32_t bits : {24u, 32u}) {
        for (bool runLength : {false, true}) {
            for (bool topDown : {false, true}) {
                SCOPED_TRACE(std::to_string(bits) + (runLength ? " rle" : " raw") + (topDown ? " top" : " bottom"));
                const uint32_t width = 13, height = 7;
                std::vector<uint8_t> picture = image_files::TestPicture(width, height, bits == 32);
                const std::vector<uint8_t> file =
                    image_files::WriteTga(width, height, picture, {bits, runLength, topDown, uint8_t(topDown ? 5 : 0)});
                DecodedImage image;
                const DecodeResult result = Decode(file, image);
                ASSERT_TRUE(result.Ok()) << result.reason;
                EXPECT_EQ(image.fileType, gfx::ImageFileType::Tga);
                EXPECT_EQ(image.kind, ImageKind::Texture2D);
                EXPECT_EQ(image.format, gfx::kFormatA8R8G8B8);
                EXPECT_EQ(image.width, width);
                EXPECT_EQ(image.height, height);
                EXPECT_EQ(image.levels, 1u);
                ASSERT_EQ(image.subresources.size(), 1u);
                EXPECT_EQ(image.subresources[0].rowPitch, width * 4);
                EXPECT_EQ(Bytes(image), picture);
            }
        }
    }
}

TEST(TgaDecode, RunLengthFileReallyUsesRepeatPackets)
{
    // A flat picture compresses well: proves the run-length road was taken.
    const std::vector<uint8_t> picture(64 * 64 * 4, 0x55);
    const std::vector<uint8_t> file = image_files::WriteTga(64, 64, picture, {32, true, false, 0});
    EXPECT_LT(file.size(), 300u);
    DecodedImage image;
    ASSERT_TRUE(Decode(file, image).Ok());
    EXPECT_EQ(Bytes(image), picture);
}

TEST(TgaDecode, DamagedAndUnsupportedFilesGiveInvalidData)
{
    const std::vector<uint8_t> picture = image_files::TestPicture(9, 5, true);
    for (bool runLength : {false, true}) {
        const std::vector<uint8_t> file = image_files::WriteTga(9, 5, picture, {32, runLength, false, 0});
        for (size_t length = 0; length < file.size(); ++length) {
            const std::vector<uint8_t> cut(file.begin(), file.begin() + std::ptrdiff_t(length));
            DecodedImage image;
            const DecodeResult result = Decode(cut, image);
            EXPECT_EQ(result.status, DecodeStatus::InvalidData) << length;
            EXPECT_FALSE(result.reason.empty());
        }
    }
    std::vector<uint8_t> file = image_files::WriteTga(9, 5, picture, {32, false, false, 0});
    std::vector<uint8_t> sixteenBits = file;
    sixteenBits[16] = 16;
    ExpectInvalid(sixteenBits, "16 bits");
    std::vector<uint8_t> colourMapped = file;
    colourMapped[1] = 1;
    colourMapped[2] = 1;
    ExpectInvalid(colourMapped, "image type 1");
    std::vector<uint8_t> grey = file;
    grey[2] = 3;
    ExpectInvalid(grey, "image type 3");
    std::vector<uint8_t> huge = file;
    huge[12] = 0xFF;
    huge[13] = 0xFF;
    ExpectInvalid(huge, "larger than");
    std::vector<uint8_t> wide = file; // within limits but far more texels than bytes
    wide[13] = 0x3F;
    ExpectInvalid(wide, "truncated");
}

TEST(BmpDecode, BothRowOrdersAndHeaderVersionsGiveBgraTexels)
{
    struct Case {
        image_files::BmpOptions options;
        bool alpha;
    };
    const Case cases[] = {
        {{24, false, 40, false}, false}, {{24, true, 40, false}, false},  {{32, false, 40, false}, true},
        {{32, true, 40, false}, true},   {{32, false, 40, true}, false},  {{32, true, 124, true}, true},
        {{24, false, 108, false}, false}, {{24, false, 12, false}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.options.bits) + " bits, info " + std::to_string(c.options.infoSize) +
                     (c.options.topDown ? " top-down" : " bottom-up"));
        // Width 5: 24-bit rows of 15 bytes get a byte of padding.
        const uint32_t width = 5, height = 4;
        const std::vector<uint8_t> picture = image_files::TestPicture(width, height, c.alpha);
        const std::vector<uint8_t> file = image_files::WriteBmp(width, height, picture, c.options);
        DecodedImage image;
        const DecodeResult result = Decode(file, image);
        ASSERT_TRUE(result.Ok()) << result.reason;
        EXPECT_EQ(image.fileType, gfx::ImageFileType::Bmp);
        EXPECT_EQ(image.format, gfx::kFormatA8R8G8B8);
        EXPECT_EQ(image.width, width);
        EXPECT_EQ(image.height, height);
        EXPECT_EQ(Bytes(image), picture);
    }
}

TEST(BmpDecode, DamagedAndUnsupportedFilesGiveInvalidData)
{
    const std::vector<uint8_t> picture = image_files::TestPicture(6, 3, false);
    const std::vector<uint8_t> file = image_files::WriteBmp(6, 3, picture, {24, false, 40, false});
    for (size_t length = 0; length < file.size(); ++length) {
        const std::vector<uint8_t> cut(file.begin(), file.begin() + std::ptrdiff_t(length));
        DecodedImage image;
        const DecodeResult result = Decode(cut, image);
        EXPECT_EQ(result.status, DecodeStatus::InvalidData) << length;
        EXPECT_FALSE(result.reason.empty());
    }
    auto patched16 = [&](size_t at, uint16_t value) {
        std::vector<uint8_t> copy = file;
        platform::ByteWriter(std::span(copy).subspan(at)).U16(value);
        return copy;
    };
    auto patched32 = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> copy = file;
        platform::ByteWriter(std::span(copy).subspan(at)).U32(value);
        return copy;
    };
    ExpectInvalid(patched16(28, 8), "8 bits");
    ExpectInvalid(patched16(28, 16), "16 bits");
    ExpectInvalid(patched32(30, 1), "compressed BMP");
    ExpectInvalid(patched32(30, 3), "compressed BMP"); // bit fields need 32 bits
    ExpectInvalid(patched32(14, 64), "information header");
    ExpectInvalid(patched32(18, 0), "no texels");
    ExpectInvalid(patched32(22, 0x80000000u), "");
    ExpectInvalid(patched32(18, 100000), "larger than");
    ExpectInvalid(patched32(18, 1000), "truncated");
    ExpectInvalid(patched32(10, 20), "texels start");
    ExpectInvalid(patched32(10, 0xFFFFFFF0u), "texels start");
    ExpectInvalid(patched16(26, 2), "planes");
}

TEST(ImageDecode, FileTypeComesFromTheFirstBytes)
{
    const std::vector<uint8_t> dds = WriteDds({gfx::kFormatL8, ImageKind::Texture2D, 2, 2, 1, 1});
    const std::vector<uint8_t> picture = image_files::TestPicture(2, 2, false);
    const std::vector<uint8_t> tga = image_files::WriteTga(2, 2, picture, {24, false, false, 0});
    const std::vector<uint8_t> bmp = image_files::WriteBmp(2, 2, picture, {24, false, 40, false});
    EXPECT_EQ(gfx::SniffImageFileType(dds.data(), dds.size()), gfx::ImageFileType::Dds);
    EXPECT_EQ(gfx::SniffImageFileType(tga.data(), tga.size()), gfx::ImageFileType::Tga);
    EXPECT_EQ(gfx::SniffImageFileType(bmp.data(), bmp.size()), gfx::ImageFileType::Bmp);
    const std::string junk = "This is a text file, not a picture at all.";
    EXPECT_EQ(gfx::SniffImageFileType(junk.data(), junk.size()), gfx::ImageFileType::Unknown);
    ExpectInvalid(std::vector<uint8_t>(junk.begin(), junk.end()), "not a DDS, TGA or BMP");
    ExpectInvalid({}, "empty");

    DecodedImage image;
    EXPECT_EQ(gfx::DecodeImage(nullptr, 0, image).status, DecodeStatus::InvalidData);
    // Each reader refuses the others' files rather than misreading them.
    EXPECT_FALSE(gfx::ReadDds(tga.data(), tga.size(), image).Ok());
    EXPECT_FALSE(gfx::ReadBmp(dds.data(), dds.size(), image).Ok());
    EXPECT_FALSE(gfx::ReadTga(dds.data(), dds.size(), image).Ok());
}

TEST(ImageDecode, AFailedDecodeLeavesNoImageBehind)
{
    DecodedImage image;
    ASSERT_TRUE(Decode(WriteDds({gfx::kFormatA8R8G8B8, ImageKind::Texture2D, 4, 4, 1, 3}), image).Ok());
    ASSERT_FALSE(image.bytes.empty());
    const std::string junk = "junk junk junk";
    EXPECT_FALSE(Decode(std::vector<uint8_t>(junk.begin(), junk.end()), image).Ok());
    EXPECT_TRUE(image.bytes.empty());
    EXPECT_EQ(image.width, 0u);
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
        image_files::WriteTga(5, 3, picture, {32, true, false, 0}),
        WriteDds(large, PatternTexels(large, 3)),
        std::vector<uint8_t>(junk.begin(), junk.end()),
        image_files::WriteBmp(5, 3, picture, {32, false, 40, false}),
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
    // every seed but the refused DX10 one is a good file.
    const std::filesystem::path folder = std::filesystem::path(ZANDREL_SOURCE_DIR) / "fuzz/corpus/image_decode";
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::vector<uint8_t> bytes = zandrel_test::ReadBytes(entry.path());
        DecodedImage image;
        const DecodeResult result = Decode(bytes, image);
        const bool refused = entry.path().filename().string().find("dx10") != std::string::npos;
        EXPECT_EQ(result.Ok(), !refused) << entry.path() << ": " << result.reason;
        ++seeds;
    }
    EXPECT_GE(seeds, 10);
}
