#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "platform/gfx/device/adapter_memory.h"
#include "platform/gfx/device/device.h"
#include "platform/gfx/device/format.h"
#include "testing/gfx_device_hooks.h"
#include "platform/gfx/image/texture_loader.h"
#include "testing/gfx_failure_injection.h"
#include "tests/platform/gfx/device/gfx_test_device.h"
#include "tests/platform/gfx/raster/raster_test_support.h"

using namespace gfx;
using platform::testing::SurfaceBytes;
using platform::testing::TextureBytes;

TEST(GfxTexture, LevelsLieOneAfterAnotherInMemoryThatStaysAfterUnlock)
{
    gfx_test::TestDevice test;
    Texture* texture = nullptr;
    ASSERT_EQ(kOk, test.device->CreateTexture(2048, 2048, 2, 0, kFormatDXT1, kPoolSystemMem, &texture));
    EXPECT_EQ(2u, texture->GetLevelCount());
    LockedRect level0, level1;
    ASSERT_EQ(kOk, texture->LockRect(0, &level0, nullptr, 0));
    EXPECT_EQ(512 * 8, level0.pitch); // one row of 4 x 4 blocks
    ASSERT_EQ(kOk, texture->LockRect(1, &level1, nullptr, 0));
    EXPECT_EQ(static_cast<uint8_t*>(level0.bits) + 2048 * 2048 / 2, level1.bits);
    ASSERT_EQ(kOk, texture->UnlockRect(1));
    ASSERT_EQ(kOk, texture->UnlockRect(0));
    // A reader writing all levels through the level-0 address lands in level 1.
    std::memset(static_cast<uint8_t*>(level0.bits) + 2048 * 2048 / 2, 0xAB, 16);
    EXPECT_EQ(0xAB, TextureBytes(*texture)[2048 * 2048 / 2]);
    EXPECT_EQ(2048u * 2048 / 2 + 1024 * 1024 / 2, TextureBytes(*texture).size());
    SafeRelease(texture);

    ASSERT_EQ(kOk, test.device->CreateTexture(256, 64, 0, 0, kFormatA8R8G8B8, kPoolManaged, &texture));
    EXPECT_EQ(9u, texture->GetLevelCount());
    SurfaceDesc desc;
    ASSERT_EQ(kOk, texture->GetLevelDesc(8, &desc));
    EXPECT_EQ(1u, desc.width);
    EXPECT_EQ(1u, desc.height);
    EXPECT_EQ(kInvalidCall, texture->GetLevelDesc(9, &desc));
    SafeRelease(texture);
}

TEST(GfxTexture, LockingFollowsPoolUsageAndBlockRules)
{
    gfx_test::TestDevice test;
    Device* device = test.device;
    Texture* target = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(16, 16, 1, kUsageRenderTarget, kFormatA8R8G8B8, kPoolDefault, &target));
    LockedRect locked;
    EXPECT_EQ(kInvalidCall, target->LockRect(0, &locked, nullptr, 0));
    EXPECT_EQ(nullptr, locked.bits);
    Texture* plain = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(16, 16, 1, 0, kFormatA8R8G8B8, kPoolDefault, &plain));
    EXPECT_EQ(kInvalidCall, plain->LockRect(0, &locked, nullptr, 0));
    Texture* dynamic = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(16, 16, 1, kUsageDynamic, kFormatA8R8G8B8, kPoolDefault, &dynamic));
    EXPECT_EQ(kOk, dynamic->LockRect(0, &locked, nullptr, kLockDiscard));
    EXPECT_EQ(kInvalidCall, dynamic->LockRect(0, &locked, nullptr, 0)); // already locked
    EXPECT_EQ(kOk, dynamic->UnlockRect(0));
    EXPECT_EQ(kInvalidCall, dynamic->UnlockRect(0));

    Texture* staging = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(16, 16, 1, 0, kFormatA8R8G8B8, kPoolSystemMem, &staging));
    EXPECT_EQ(kInvalidCall, staging->LockRect(0, &locked, nullptr, kLockDiscard)); // discard is for dynamic ones
    const Rect part{4, 2, 8, 6};
    ASSERT_EQ(kOk, staging->LockRect(0, &locked, &part, 0));
    EXPECT_EQ(64, locked.pitch);
    EXPECT_EQ(TextureBytes(*staging).data() + 2 * 64 + 4 * 4, locked.bits);
    staging->UnlockRect(0);
    const Rect outside{8, 8, 17, 9};
    EXPECT_EQ(kInvalidCall, staging->LockRect(0, &locked, &outside, 0));

    Texture* blocks = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(16, 16, 0, 0, kFormatDXT5, kPoolSystemMem, &blocks));
    const Rect unaligned{2, 0, 8, 4};
    EXPECT_EQ(kInvalidCall, blocks->LockRect(0, &locked, &unaligned, 0));
    const Rect aligned{4, 4, 8, 8};
    ASSERT_EQ(kOk, blocks->LockRect(0, &locked, &aligned, 0));
    EXPECT_EQ(64, locked.pitch);
    EXPECT_EQ(TextureBytes(*blocks).data() + 64 + 16, locked.bits);
    blocks->UnlockRect(0);
    ASSERT_EQ(kOk, blocks->LockRect(4, &locked, nullptr, 0)); // 1 x 1 level: one block
    blocks->UnlockRect(4);

    {
        platform::testing::GfxFailureInjection injection;
        injection.Fail("LockRect", kInvalidCall);
        EXPECT_EQ(kInvalidCall, staging->LockRect(0, &locked, nullptr, 0));
        EXPECT_EQ(kOk, staging->LockRect(0, &locked, nullptr, 0));
        injection.Fail("UnlockRect", kInvalidCall);
        EXPECT_EQ(kInvalidCall, staging->UnlockRect(0));
        EXPECT_EQ(kOk, staging->UnlockRect(0));
    }
    for (Texture* texture : {target, plain, dynamic, staging, blocks}) EXPECT_EQ(0u, texture->Release());
}

TEST(GfxTexture, CreationRefusesWhatNoTextureCanBe)
{
    gfx_test::TestDevice test;
    Device* device = test.device;
    Texture* texture = reinterpret_cast<Texture*>(1);
    EXPECT_EQ(kInvalidCall, device->CreateTexture(0, 16, 1, 0, kFormatA8R8G8B8, kPoolDefault, &texture));
    EXPECT_EQ(nullptr, texture);
    EXPECT_EQ(kInvalidCall, device->CreateTexture(16, 16, 1, kUsageRenderTarget, kFormatA8R8G8B8, kPoolSystemMem, &texture));
    EXPECT_EQ(kInvalidCall, device->CreateTexture(16, 16, 1, 0, kFormatD24X8, kPoolDefault, &texture));
    EXPECT_EQ(kInvalidCall, device->CreateTexture(16, 16, 1, kUsageDepthStencil, kFormatA8R8G8B8, kPoolDefault, &texture));
    EXPECT_EQ(kInvalidCall, device->CreateTexture(16, 16, 6, 0, kFormatA8R8G8B8, kPoolDefault, &texture));
    EXPECT_EQ(kInvalidCall, device->CreateTexture(16, 16, 1, kUsageRenderTarget, kFormatDXT1, kPoolDefault, &texture));
    EXPECT_EQ(kInvalidCall, device->CreateTexture(16, 16, 1, 0, kFormatIndex16, kPoolDefault, &texture));
    EXPECT_EQ(kInvalidCall, device->CreateTexture(16, 16, 1, kUsageAutoGenMipMap, kFormatA8R8G8B8, kPoolSystemMem, &texture));
    EXPECT_EQ(kInvalidCall, device->CreateTexture(16384, 16, 1, 0, kFormatA8R8G8B8, kPoolSystemMem, &texture));

    // A depth texture: its level is a depth surface.
    ASSERT_EQ(kOk, device->CreateTexture(16, 16, 1, kUsageDepthStencil, kFormatD24X8, kPoolDefault, &texture));
    Surface* level = nullptr;
    texture->GetSurfaceLevel(0, &level);
    EXPECT_EQ(kOk, device->SetDepthStencilSurface(level));
    EXPECT_EQ(kOk, device->SetDepthStencilSurface(nullptr));
    level->Release();
    SafeRelease(texture);

    ASSERT_EQ(kOk, device->CreateTexture(64, 64, 0, kUsageAutoGenMipMap, kFormatA8R8G8B8, kPoolDefault, &texture));
    EXPECT_EQ(1u, texture->GetLevelCount()); // the chain is kept, one level is shown
    EXPECT_EQ(kOk, texture->GenerateMipSubLevels());
    SafeRelease(texture);

    platform::testing::GfxFailureInjection injection;
    injection.Fail("CreateTexture", kOutOfVideoMemory);
    EXPECT_EQ(kOutOfVideoMemory, device->CreateTexture(16, 16, 1, 0, kFormatA8R8G8B8, kPoolDefault, &texture));
    EXPECT_EQ(nullptr, texture);
}

TEST(GfxTexture, BlockTexturesAreWholeBlocksOrSmallerThanOneASide)
{
    gfx_test::TestDevice test;
    Device* device = test.device;
    struct Size {
        uint32_t width, height;
        bool made;
    };
    // The smallest levels of every chain (2 x 2, 1 x 1, 16 x 2) are textures of their own too.
    for (const Size& size : {Size{1, 1, true}, Size{2, 2, true}, Size{3, 3, true}, Size{16, 2, true},
                             Size{4, 1, true}, Size{12, 8, true}, Size{6, 4, false}, Size{3, 5, false},
                             Size{8, 10, false}}) {
        for (uint32_t format : {kFormatDXT1, kFormatDXT5}) {
            SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
            Texture* texture = nullptr;
            EXPECT_EQ(size.made ? kOk : kInvalidCall,
                      device->CreateTexture(size.width, size.height, 0, 0, format, kPoolManaged, &texture));
            if (!texture)
                continue;
            // Each level, even one of a texel, keeps a whole block.
            EXPECT_EQ(texture->GetLevelCount(), gfx::FullMipLevels(size.width, size.height));
            LockedRect locked;
            ASSERT_EQ(kOk, texture->LockRect(texture->GetLevelCount() - 1, &locked, nullptr, 0));
            EXPECT_EQ(locked.pitch, format == kFormatDXT1 ? 8 : 16);
            EXPECT_EQ(kOk, texture->UnlockRect(texture->GetLevelCount() - 1));
            SafeRelease(texture);
        }
    }
}

TEST(GfxTexture, SurfaceLevelsShareTheTexturesCountAndBytes)
{
    gfx_test::TestDevice test;
    Texture* texture = nullptr;
    ASSERT_EQ(kOk, test.device->CreateTexture(8, 8, 2, 0, kFormatL8, kPoolSystemMem, &texture));
    Surface* level1 = nullptr;
    ASSERT_EQ(kOk, texture->GetSurfaceLevel(1, &level1));
    EXPECT_EQ(2u, texture->RefCount());
    EXPECT_EQ(texture, level1->Container());
    EXPECT_EQ(3u, level1->AddRef());
    EXPECT_EQ(2u, level1->Release());
    LockedRect locked;
    ASSERT_EQ(kOk, level1->LockRect(&locked, nullptr, 0));
    static_cast<uint8_t*>(locked.bits)[5] = 0x77;
    EXPECT_EQ(kInvalidCall, texture->LockRect(1, &locked, nullptr, 0)); // the same level, already locked
    ASSERT_EQ(kOk, level1->UnlockRect());
    EXPECT_EQ(0x77, TextureBytes(*texture)[64 + 5]);
    Surface* missing = reinterpret_cast<Surface*>(1);
    EXPECT_EQ(kInvalidCall, texture->GetSurfaceLevel(2, &missing));
    EXPECT_EQ(nullptr, missing);
    EXPECT_EQ(1u, texture->Release());
    EXPECT_EQ(0u, level1->Release()); // the last reference, held through the level, frees it all
}

TEST(GfxTexture, UpdateCopiesOnlyTheChangedRegionOfEveryLevel)
{
    gfx_test::TestDevice test;
    Device* device = test.device;
    Texture* staging = nullptr;
    Texture* target = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(8, 8, 2, 0, kFormatA8R8G8B8, kPoolSystemMem, &staging));
    ASSERT_EQ(kOk, device->CreateTexture(8, 8, 2, 0, kFormatA8R8G8B8, kPoolDefault, &target));
    auto source = TextureBytes(*staging);
    auto destination = TextureBytes(*target);
    std::iota(source.begin(), source.end(), uint8_t{1});
    ASSERT_EQ(kOk, device->UpdateTexture(staging, target)); // new textures are changed everywhere
    EXPECT_TRUE(std::equal(source.begin(), source.end(), destination.begin()));

    // Bytes written behind the texture's back are not copied; a locked rectangle is.
    std::fill(source.begin(), source.end(), uint8_t{0xEE});
    ASSERT_EQ(kOk, device->UpdateTexture(staging, target));
    EXPECT_NE(0xEE, destination[0]);
    const Rect part{4, 4, 6, 6};
    LockedRect locked;
    ASSERT_EQ(kOk, staging->LockRect(0, &locked, &part, 0));
    ASSERT_EQ(kOk, staging->UnlockRect(0));
    ASSERT_EQ(kOk, device->UpdateTexture(staging, target));
    const auto texel = [&](uint32_t level, uint32_t x, uint32_t y) {
        const size_t base = level == 0 ? 0 : 8 * 8 * 4;
        const size_t pitch = level == 0 ? 32 : 16;
        return destination[base + y * pitch + x * 4];
    };
    EXPECT_EQ(0xEE, texel(0, 4, 4));
    EXPECT_EQ(0xEE, texel(0, 5, 5));
    EXPECT_NE(0xEE, texel(0, 3, 4));
    EXPECT_NE(0xEE, texel(0, 6, 6));
    EXPECT_EQ(0xEE, texel(1, 2, 2)); // the matching texel of level 1
    EXPECT_NE(0xEE, texel(1, 1, 1));

    // AddDirtyRect marks a region without a lock.
    std::fill(source.begin(), source.end(), uint8_t{0x42});
    const Rect corner{0, 0, 2, 2};
    ASSERT_EQ(kOk, staging->AddDirtyRect(&corner));
    ASSERT_EQ(kOk, device->UpdateTexture(staging, target));
    EXPECT_EQ(0x42, texel(0, 1, 1));
    EXPECT_NE(0x42, texel(0, 2, 2));

    Texture* other = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(8, 8, 1, 0, kFormatX8R8G8B8, kPoolDefault, &other));
    EXPECT_EQ(kInvalidCall, device->UpdateTexture(staging, other)); // another format
    EXPECT_EQ(kInvalidCall, device->UpdateTexture(target, staging)); // the wrong way round
    ASSERT_EQ(kOk, staging->LockRect(0, &locked, nullptr, 0));
    EXPECT_EQ(kInvalidCall, device->UpdateTexture(staging, target)); // while locked
    staging->UnlockRect(0);
    SafeRelease(other);

    // A larger source skips levels to meet the destination's size.
    Texture* small = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(4, 4, 1, 0, kFormatA8R8G8B8, kPoolDefault, &small));
    EXPECT_EQ(kOk, device->UpdateTexture(staging, small));
    EXPECT_EQ(source[8 * 8 * 4], TextureBytes(*small)[0]);
    SafeRelease(small);
    SafeRelease(staging);
    SafeRelease(target);
}

TEST(GfxTexture, UpdateOfBlockTexturesCopiesWholeBlocks)
{
    gfx_test::TestDevice test;
    Texture* staging = nullptr;
    Texture* target = nullptr;
    ASSERT_EQ(kOk, test.device->CreateTexture(16, 16, 1, 0, kFormatDXT1, kPoolSystemMem, &staging));
    ASSERT_EQ(kOk, test.device->CreateTexture(16, 16, 1, 0, kFormatDXT1, kPoolDefault, &target));
    ASSERT_EQ(kOk, test.device->UpdateTexture(staging, target));
    auto source = TextureBytes(*staging);
    std::fill(source.begin(), source.end(), uint8_t{0x99});
    const Rect part{4, 8, 8, 12}; // block (1, 2)
    ASSERT_EQ(kOk, staging->AddDirtyRect(&part));
    ASSERT_EQ(kOk, test.device->UpdateTexture(staging, target));
    auto destination = TextureBytes(*target);
    const size_t pitch = 4 * 8;
    for (size_t i = 0; i < destination.size(); ++i) {
        const bool inBlock = i >= 2 * pitch + 8 && i < 2 * pitch + 16;
        EXPECT_EQ(inBlock ? 0x99 : 0x00, destination[i]) << i;
    }
    SafeRelease(staging);
    SafeRelease(target);
}

TEST(GfxTexture, CubeAndVolumeTexturesKeepFacesSlicesAndLevels)
{
    gfx_test::TestDevice test;
    Device* device = test.device;
    CubeTexture* cube = nullptr;
    ASSERT_EQ(kOk, device->CreateCubeTexture(8, 0, 0, kFormatA8R8G8B8, kPoolSystemMem, &cube));
    EXPECT_EQ(4u, cube->GetLevelCount());
    EXPECT_EQ(uint32_t{kResourceCubeTexture}, cube->GetType());
    LockedRect locked;
    ASSERT_EQ(kOk, cube->LockRect(3, 0, &locked, nullptr, 0));
    std::memset(locked.bits, 0x33, 8 * 8 * 4);
    cube->UnlockRect(3, 0);
    const size_t face = (64 + 16 + 4 + 1) * 4;
    EXPECT_EQ(0x33, TextureBytes(*cube)[3 * face]);
    EXPECT_EQ(0x00, TextureBytes(*cube)[3 * face - 1]);
    Surface* side = nullptr;
    ASSERT_EQ(kOk, cube->GetCubeMapSurface(5, 1, &side));
    EXPECT_EQ(4u, side->Width());
    side->Release();
    EXPECT_EQ(kInvalidCall, cube->LockRect(6, 0, &locked, nullptr, 0));
    CubeTexture* cubeTarget = nullptr;
    ASSERT_EQ(kOk, device->CreateCubeTexture(8, 0, 0, kFormatA8R8G8B8, kPoolDefault, &cubeTarget));
    ASSERT_EQ(kOk, device->UpdateTexture(cube, cubeTarget));
    EXPECT_EQ(0x33, TextureBytes(*cubeTarget)[3 * face + 100]);

    VolumeTexture* volume = nullptr;
    ASSERT_EQ(kOk, device->CreateVolumeTexture(4, 4, 4, 0, 0, kFormatL8, kPoolSystemMem, &volume));
    EXPECT_EQ(3u, volume->GetLevelCount());
    VolumeDesc desc;
    ASSERT_EQ(kOk, volume->GetLevelDesc(1, &desc));
    EXPECT_EQ(2u, desc.depth);
    LockedBox box;
    const Box slice{0, 0, 4, 4, 2, 3};
    ASSERT_EQ(kOk, volume->LockBox(0, &box, &slice, 0));
    EXPECT_EQ(4, box.rowPitch);
    EXPECT_EQ(16, box.slicePitch);
    static_cast<uint8_t*>(box.bits)[0] = 0x5C;
    EXPECT_EQ(kInvalidCall, volume->LockBox(0, &box, nullptr, 0));
    ASSERT_EQ(kOk, volume->UnlockBox(0));
    EXPECT_EQ(0x5C, TextureBytes(*volume)[32]);
    const Box deep{0, 0, 4, 4, 3, 5};
    EXPECT_EQ(kInvalidCall, volume->LockBox(0, &box, &deep, 0));
    VolumeTexture* volumeTarget = nullptr;
    ASSERT_EQ(kOk, device->CreateVolumeTexture(4, 4, 4, 0, 0, kFormatL8, kPoolDefault, &volumeTarget));
    ASSERT_EQ(kOk, device->UpdateTexture(volume, volumeTarget));
    EXPECT_EQ(0x5C, TextureBytes(*volumeTarget)[32]);
    EXPECT_EQ(kInvalidCall, device->UpdateTexture(volume, cubeTarget)); // different kinds

    for (BaseTexture* texture : std::initializer_list<BaseTexture*>{cube, cubeTarget, volume, volumeTarget}) {
        EXPECT_EQ(0u, texture->Release());
    }
}

using GfxBlockTextureDrawing = gfx_test::RasterTestWith<gfx_test::kPointSampled>;

TEST_F(GfxBlockTextureDrawing, TexturesOfLessThanABlockASideAreDrawnTexelForTexel)
{
    // Each block's texels pick all four of its colours: red and blue at the
    // ends and the two between them.
    struct Size {
        uint32_t width, height;
    };
    for (const Size& size : {Size{1, 1}, Size{2, 2}, Size{3, 3}, Size{16, 2}, Size{3, 8}}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        Texture* texture = nullptr;
        ASSERT_EQ(kOk, device->CreateTexture(size.width, size.height, 1, 0, kFormatDXT1, kPoolManaged, &texture));
        owned.push_back(texture);
        std::span<uint8_t> blocks = TextureBytes(*texture);
        ASSERT_EQ(blocks.size(), LevelSize(kFormatDXT1, size.width, size.height));
        for (size_t at = 0; at < blocks.size(); at += 8) {
            const uint8_t block[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x1B, 0x4E, uint8_t(0xB1 ^ (at / 8))};
            std::memcpy(blocks.data() + at, block, 8);
        }
        std::vector<uint8_t> texels(size_t(size.width) * size.height * 4);
        DecodeBlocks(kFormatDXT1, blocks.data(), size.width, size.height, texels.data());

        Clear();
        ASSERT_EQ(kEffectOk, effect->SetTexture("Picture", texture));
        SetGeometry(Rectangle(0, 0, float(size.width), float(size.height)), RectangleIndices());
        DrawWith("textured");
        ExpectEveryPixel([&](uint32_t x, uint32_t y) {
            uint32_t expected = 0xFF000000u;
            if (x < size.width && y < size.height)
                std::memcpy(&expected, &texels[(size_t(y) * size.width + x) * 4], 4);
            return expected;
        });
    }
}
