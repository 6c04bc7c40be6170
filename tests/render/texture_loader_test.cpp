// Textures from image files in memory: the parameters the load flags and pool
// choose, every file kind the engine keeps, levels made where a file lacks
// them, and the failures as the user reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <span>

#include "platform/gfx/device/format.h"
#include "platform/gfx/image/texture_loader.h"
#include "render/textures/texture_from_memory.h"
#include "testing/dds_writer.h"
#include "testing/gfx_device_hooks.h"
#include "testing/gfx_failure_injection.h"
#include "testing/message_box_script.h"
#include "tests/render/texture_test_support.h"

namespace {

using platform::testing::DdsSpec;
using platform::testing::PatternTexels;
using platform::testing::TextureBytes;
using platform::testing::WriteDds;

struct Loaded {
    gfx::Result result = gfx::kOk;
    gfx::BaseTexture* texture = nullptr;
    ~Loaded()
    {
        if (texture)
            texture->Release();
    }
};

class TextureLoading : public ::testing::Test {
protected:
    void Load(Loaded& out, const std::vector<uint8_t>& file, uint32_t flags, uint32_t pool)
    {
        out.result = CreateTextureFromFile(device.device, file.data(), file.size(), flags, pool, &out.texture);
    }
    static std::vector<uint8_t> Bytes(gfx::BaseTexture* texture)
    {
        const std::span<uint8_t> bytes = TextureBytes(*texture);
        return {bytes.begin(), bytes.end()};
    }
    static gfx::SurfaceDesc Desc(gfx::BaseTexture* texture, uint32_t level = 0)
    {
        gfx::SurfaceDesc desc;
        static_cast<gfx::Texture*>(texture)->GetLevelDesc(level, &desc);
        return desc;
    }

    gfx_test::TestDevice device;
};

TEST_F(TextureLoading, EachDdsFormatArrivesWithItsLevelsByteForByte)
{
    for (uint32_t format : {gfx::kFormatDXT1, gfx::kFormatDXT5, gfx::kFormatA8R8G8B8, gfx::kFormatL8,
                            gfx::kFormatA8, gfx::kFormatR32F, gfx::kFormatA32B32G32R32F}) {
        SCOPED_TRACE(format);
        const DdsSpec spec{format, gfx::ImageKind::Texture2D, 64, 32, 1, 7};
        Loaded loaded;
        Load(loaded, WriteDds(spec, 3), 0, gfx::kPoolDefault);
        ASSERT_EQ(loaded.result, gfx::kOk);
        ASSERT_EQ(loaded.texture->GetType(), gfx::kResourceTexture);
        EXPECT_EQ(loaded.texture->GetPool(), gfx::kPoolDefault);
        EXPECT_EQ(loaded.texture->GetLevelCount(), 7u);
        EXPECT_EQ(loaded.texture->Format(), format);
        EXPECT_EQ(loaded.texture->GetUsage(), 0u);
        EXPECT_EQ(Bytes(loaded.texture), PatternTexels(spec, 3));
    }
}

TEST_F(TextureLoading, CubeAndVolumeFilesMakeTheirKinds)
{
    const DdsSpec cube{gfx::kFormatDXT1, gfx::ImageKind::Cube, 16, 16, 1, 5};
    Loaded loadedCube;
    Load(loadedCube, WriteDds(cube, 4), texture_flags::kCube, gfx::kPoolManaged);
    ASSERT_EQ(loadedCube.result, gfx::kOk);
    EXPECT_EQ(loadedCube.texture->GetType(), gfx::kResourceCubeTexture);
    EXPECT_EQ(Bytes(loadedCube.texture), PatternTexels(cube, 4));

    // Both kind flags: a cube.
    Loaded both;
    Load(both, WriteDds(cube, 4), texture_flags::kCube | texture_flags::kVolume, gfx::kPoolDefault);
    ASSERT_EQ(both.result, gfx::kOk);
    EXPECT_EQ(both.texture->GetType(), gfx::kResourceCubeTexture);
    EXPECT_EQ(Bytes(both.texture), PatternTexels(cube, 4));

    const DdsSpec volume{gfx::kFormatA8R8G8B8, gfx::ImageKind::Volume, 8, 4, 4, 4};
    Loaded loadedVolume;
    Load(loadedVolume, WriteDds(volume, 5), texture_flags::kVolume, gfx::kPoolDefault);
    ASSERT_EQ(loadedVolume.result, gfx::kOk);
    EXPECT_EQ(loadedVolume.texture->GetType(), gfx::kResourceVolumeTexture);
    EXPECT_EQ(loadedVolume.texture->GetLevelCount(), 4u);
    EXPECT_EQ(Bytes(loadedVolume.texture), PatternTexels(volume, 5));

    // A cube asked of a plain picture is refused as data of the wrong kind.
    Loaded wrong;
    Load(wrong, WriteDds(DdsSpec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 8, 8, 1, 1}), texture_flags::kCube,
         gfx::kPoolDefault);
    EXPECT_EQ(wrong.result, gfx::kInvalidData);
    EXPECT_EQ(wrong.texture, nullptr);
}

TEST_F(TextureLoading, DefaultPoolRoundsToPowersOfTwoWithAFullChainUnlessToldOtherwise)
{
    const std::vector<uint8_t> tga = texture_test::Tga32(6, 5, texture_test::Picture(6, 5));
    Loaded rounded;
    Load(rounded, tga, 0, gfx::kPoolDefault);
    ASSERT_EQ(rounded.result, gfx::kOk);
    EXPECT_EQ(rounded.texture->Width(), 8u);
    EXPECT_EQ(rounded.texture->Height(), 8u);
    EXPECT_EQ(rounded.texture->GetLevelCount(), 4u);
    EXPECT_EQ(rounded.texture->Format(), gfx::kFormatA8R8G8B8);

    Loaded kept;
    Load(kept, tga, texture_flags::kKeepSize | texture_flags::kNoFilter, gfx::kPoolDefault);
    ASSERT_EQ(kept.result, gfx::kOk);
    EXPECT_EQ(kept.texture->Width(), 6u);
    EXPECT_EQ(kept.texture->Height(), 5u);
    EXPECT_EQ(kept.texture->GetLevelCount(), 3u);
    EXPECT_EQ(kept.texture->GetUsage(), 0u) << "kind and sizing flags never reach the device";
    const std::vector<uint8_t> bytes = Bytes(kept.texture);
    const std::vector<uint8_t> picture = texture_test::Picture(6, 5);
    EXPECT_TRUE(std::equal(picture.begin(), picture.end(), bytes.begin()));
    // Unfiltered levels take texels as they are: level 1 texel (0,0) is level 0's (0,0).
    const size_t level1 = picture.size();
    EXPECT_TRUE(std::equal(picture.begin(), picture.begin() + 4, bytes.begin() + level1));
}

TEST_F(TextureLoading, SystemMemoryKeepsTheFileExactlyAndOneLevelUnlessAllAreAsked)
{
    const std::vector<uint8_t> picture = texture_test::Picture(6, 5);
    const std::vector<uint8_t> tga = texture_test::Tga32(6, 5, picture);
    Loaded one;
    Load(one, tga, 0, gfx::kPoolSystemMem);
    ASSERT_EQ(one.result, gfx::kOk);
    EXPECT_EQ(one.texture->Width(), 6u);
    EXPECT_EQ(one.texture->GetLevelCount(), 1u);
    EXPECT_EQ(Bytes(one.texture), picture);

    Loaded all;
    Load(all, tga, texture_flags::kFullMipChain, gfx::kPoolSystemMem);
    ASSERT_EQ(all.result, gfx::kOk);
    EXPECT_EQ(all.texture->GetLevelCount(), 3u);
    EXPECT_EQ(all.texture->GetUsage(), 0u) << "the full-chain flag is no usage in system memory";
}

TEST_F(TextureLoading, FullChainFlagIsAutomaticLevelsInVideoMemory)
{
    const DdsSpec spec{gfx::kFormatA8R8G8B8, gfx::ImageKind::Texture2D, 16, 16, 1, 1};
    for (uint32_t pool : {gfx::kPoolDefault, gfx::kPoolManaged}) {
        Loaded loaded;
        Load(loaded, WriteDds(spec), texture_flags::kFullMipChain, pool);
        ASSERT_EQ(loaded.result, gfx::kOk);
        EXPECT_EQ(loaded.texture->GetUsage(), gfx::kUsageAutoGenMipMap);
        EXPECT_EQ(loaded.texture->GetLevelCount(), 1u);
    }
}

TEST_F(TextureLoading, TgaAndBmpPicturesArriveTexelForTexel)
{
    const std::vector<uint8_t> picture = texture_test::Picture(8, 4);
    Loaded tga;
    Load(tga, texture_test::Tga32(8, 4, picture), 0, gfx::kPoolSystemMem);
    ASSERT_EQ(tga.result, gfx::kOk);
    EXPECT_EQ(Bytes(tga.texture), picture);

    Loaded bmp;
    Load(bmp, texture_test::Bmp24(8, 4, picture), 0, gfx::kPoolSystemMem);
    ASSERT_EQ(bmp.result, gfx::kOk);
    const std::vector<uint8_t> bytes = Bytes(bmp.texture);
    ASSERT_EQ(bytes.size(), picture.size());
    for (size_t i = 0; i < picture.size(); i += 4) {
        EXPECT_EQ(bytes[i], picture[i]);
        EXPECT_EQ(bytes[i + 1], picture[i + 1]);
        EXPECT_EQ(bytes[i + 2], picture[i + 2]);
    }
}

TEST_F(TextureLoading, MissingLevelsOfACompressedFileAreMadeFromTheLevelAbove)
{
    // One flat colour exactly representable in 5:6:5 survives every level.
    const DdsSpec spec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 16, 16, 1, 1};
    std::vector<uint8_t> blocks(gfx::LevelSize(spec.format, 16, 16));
    for (size_t i = 0; i < blocks.size(); i += 8) {
        blocks[i] = 0x00; // colour 0 = 0xF800 (red), colour 1 = 0, all indices 0
        blocks[i + 1] = 0xF8;
    }
    Loaded loaded;
    Load(loaded, WriteDds(spec, blocks), 0, gfx::kPoolDefault);
    ASSERT_EQ(loaded.result, gfx::kOk);
    ASSERT_EQ(loaded.texture->GetLevelCount(), 5u);
    const std::vector<uint8_t> bytes = Bytes(loaded.texture);
    EXPECT_TRUE(std::equal(blocks.begin(), blocks.end(), bytes.begin())) << "the file's own level is kept as is";
    uint64_t offset = blocks.size();
    for (uint32_t level = 1; level < 5; ++level) {
        const uint32_t side = 16 >> level;
        std::vector<uint8_t> texels(size_t(side) * side * 4);
        gfx::DecodeBlocks(spec.format, bytes.data() + offset, side, side, texels.data());
        for (size_t i = 0; i < texels.size(); i += 4) {
            ASSERT_EQ(texels[i + 2], 255) << "level " << level;
            ASSERT_EQ(texels[i + 1], 0);
            ASSERT_EQ(texels[i + 0], 0);
        }
        offset += gfx::LevelSize(spec.format, side, side);
    }
}

TEST_F(TextureLoading, BlockCodecKeepsExactColoursAndAlpha)
{
    std::vector<uint8_t> texels(8 * 4 * 4);
    for (size_t i = 0; i < 32; ++i) {
        const bool second = (i % 8) >= 4;
        texels[i * 4 + 0] = second ? 0xFF : 0x00; // blue or black
        texels[i * 4 + 1] = 0;
        texels[i * 4 + 2] = second ? 0x00 : 0xFF; // red
        texels[i * 4 + 3] = second ? 0x00 : 0xFF;
    }
    for (uint32_t format : {gfx::kFormatDXT3, gfx::kFormatDXT5}) {
        std::vector<uint8_t> blocks(32);
        gfx::EncodeBlocks(format, texels.data(), 8, 4, blocks.data());
        std::vector<uint8_t> back(texels.size());
        gfx::DecodeBlocks(format, blocks.data(), 8, 4, back.data());
        EXPECT_EQ(back, texels) << format;
    }
}

TEST_F(TextureLoading, FailuresGiveTheirReasons)
{
    platform::testing::ScriptedMessageBoxes boxes;
    Loaded junk;
    const std::vector<uint8_t> noise{'D', 'D', 'S', ' ', 1, 2, 3};
    Load(junk, noise, 0, gfx::kPoolDefault);
    EXPECT_EQ(junk.result, gfx::kInvalidData);
    EXPECT_EQ(junk.texture, nullptr);

    // A DDS file cut short.
    std::vector<uint8_t> cut = WriteDds(DdsSpec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 64, 64, 1, 7});
    cut.resize(cut.size() / 2);
    Loaded shortFile;
    Load(shortFile, cut, 0, gfx::kPoolDefault);
    EXPECT_EQ(shortFile.result, gfx::kInvalidData);

    platform::testing::GfxFailureInjection inject;
    inject.Fail("CreateTexture", gfx::kOutOfVideoMemory);
    Loaded full;
    Load(full, WriteDds(DdsSpec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 8, 8, 1, 1}), 0, gfx::kPoolDefault);
    EXPECT_EQ(full.result, gfx::kOutOfVideoMemory);
    EXPECT_EQ(full.texture, nullptr);

    ReportTextureLoadFailure("data/a.dds", gfx::kInvalidData);
    ReportTextureLoadFailure("data/b.dds", gfx::kOutOfVideoMemory);
    ReportTextureLoadFailure("data/c.dds", gfx::kInvalidCall);
    ReportTextureLoadFailure("data/d.dds", gfx::kNotAvailable);
    ReportTextureLoadFailure("data/e.dds", gfx::kOutOfMemory);
    ReportTextureLoadFailure("data/f.dds", gfx::kFail); // no reason, no message
    ASSERT_EQ(boxes.Shown().size(), 5u);
    const char* expected[] = {"Can't load texture data/a.dds - wrong format or no file found.\n",
                              "Can't load texture data/b.dds - out of VRAM.\n",
                              "Can't load texture data/c.dds - the method call is invalid.\n",
                              "Can't load texture data/d.dds - the technique is not available.\n",
                              "Can't load texture data/e.dds - out of RAM.\n"};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(boxes.Shown()[i].text.rfind(expected[i], 0), 0u) << boxes.Shown()[i].text;
}

TEST(TextureFileCall, ParametersFollowFlagsAndPool)
{
    const TextureFileCall video = TextureFileCallFor(0, gfx::kPoolDefault);
    EXPECT_EQ(video.kind, TextureKind::Texture2D);
    EXPECT_EQ(video.params.width, 0u);
    EXPECT_EQ(video.params.levels, 0u);
    EXPECT_EQ(video.params.usage, 0u);
    EXPECT_EQ(video.params.format, gfx::kFormatUnknown);
    EXPECT_EQ(video.params.filter, gfx::kImageFilterDefault);

    const TextureFileCall staged = TextureFileCallFor(0x4FC | 0x200, gfx::kPoolSystemMem);
    EXPECT_EQ(staged.kind, TextureKind::Cube);
    const TextureFileCall staged2d = TextureFileCallFor(0x4E4 | 0x200, gfx::kPoolSystemMem);
    EXPECT_EQ(staged2d.kind, TextureKind::Texture2D);
    EXPECT_EQ(staged2d.params.width, gfx::kImageDefaultNonPow2);
    EXPECT_EQ(staged2d.params.levels, 0u);
    EXPECT_EQ(staged2d.params.usage, 0x200u);
    EXPECT_EQ(staged2d.params.format, gfx::kFormatFromFile);
    EXPECT_EQ(staged2d.params.filter, gfx::kImageFilterNone);
    EXPECT_EQ(TextureFileCallFor(0x200, gfx::kPoolSystemMem).params.levels, 1u);

    const TextureFileCall managed = TextureFileCallFor(0x4E4 | 0x1, gfx::kPoolManaged);
    EXPECT_EQ(managed.params.usage, 0x401u);
    EXPECT_EQ(managed.params.width, gfx::kImageDefaultNonPow2);
    EXPECT_EQ(managed.params.mipFilter, gfx::kImageFilterNone);

    const TextureFileCall volume = TextureFileCallFor(0x10 | 0x1, gfx::kPoolDefault);
    EXPECT_EQ(volume.kind, TextureKind::Volume);
    EXPECT_EQ(volume.params.usage, 0u);
    EXPECT_EQ(volume.params.depth, gfx::kImageDefault);
}

} // namespace
