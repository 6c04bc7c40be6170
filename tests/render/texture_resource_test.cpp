// Texture handles: render textures with their target records and bindings,
// their release (surfaces, depth-stencil surfaces, textures of every kind),
// and the direct road of a texture asked for by name before the threads run.
#include <gtest/gtest.h>

#include "platform/gfx/device/format.h"
#include "render/textures/texture_from_memory.h"
#include "render/textures/texture_resource.h"
#include "testing/dds_writer.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_device_hooks.h"
#include "testing/gfx_failure_injection.h"
#include "tests/render/texture_run.h"
#include "tests/render/texture_test_support.h"

namespace {

using platform::testing::DdsSpec;
using platform::testing::LiveObjects;
using platform::testing::PatternTexels;
using platform::testing::WriteDds;
using texture_test::Bytes;
using texture_test::WriteFile;

class RenderTextures : public texture_test::TextureRun {
protected:
    gfx::Surface* BoundTarget()
    {
        gfx::Surface* surface = nullptr;
        run.Device()->GetRenderTarget(0, &surface);
        if (surface)
            surface->Release();
        return surface;
    }
    void BindBackBuffer()
    {
        run.Device()->SetRenderTarget(0, run.Renderer()->Targets().BackBufferTarget().colour);
        run.Device()->SetDepthStencilSurface(run.Renderer()->Targets().BackBufferTarget().depthStencil);
    }
    gfx::Surface* BoundDepth()
    {
        gfx::Surface* surface = nullptr;
        run.Device()->GetDepthStencilSurface(&surface);
        if (surface)
            surface->Release();
        return surface;
    }
};

TEST_F(RenderTextures, ARenderTextureIsMadeBoundAndLoaded)
{
    TextureResource shadow;
    shadow.InitRenderTexture(0x10200, 256, gfx::kFormatR32F, gfx::kFormatD24X8, gfx::kUsageRenderTarget,
                             gfx::kPoolDefault, 1);
    TextureData* data = shadow.GetPayload();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(shadow.GetState(), 2u);
    ASSERT_NE(data->texture, nullptr);
    EXPECT_EQ(data->texture->Format(), gfx::kFormatR32F);
    EXPECT_EQ(data->kind, 0);
    ASSERT_NE(data->target.colour, nullptr);
    ASSERT_NE(data->target.depthStencil, nullptr);
    EXPECT_NE(data->target.depthStencil, data->target.colour);
    EXPECT_EQ(data->target.viewport.width, 0x200u) << "sizes keep their low 16 bits";
    EXPECT_EQ(data->target.viewport.height, 256u);
    EXPECT_EQ(data->target.viewport.maxZ, 1.0f);
    EXPECT_EQ(BoundTarget(), data->target.colour);
    EXPECT_EQ(BoundDepth(), data->target.depthStencil);
    EXPECT_EQ(run.Renderer()->Targets().CurrentTarget(), &data->target);
    EXPECT_NE(run.Out().find("RenderTexture created.\n"), std::string::npos);
}

TEST_F(RenderTextures, DepthTexturesAndSurfacesTakeTheirOwnForms)
{
    TextureResource depth;
    depth.InitRenderTexture(128, 128, gfx::kFormatD24S8, gfx::kFormatD24S8, gfx::kUsageDepthStencil,
                            gfx::kPoolDefault, 1);
    EXPECT_EQ(depth.GetPayload()->target.depthStencil, depth.GetPayload()->target.colour)
        << "a depth texture is its own depth-stencil surface";

    TextureResource plain;
    plain.InitRenderTexture(64, 64, gfx::kFormatA8R8G8B8, 0, 0, gfx::kPoolDefault, 1);
    EXPECT_EQ(plain.GetPayload()->target.depthStencil, nullptr);
    EXPECT_EQ(BoundDepth(), nullptr) << "no depth format unbinds the depth-stencil surface";

    TextureResource offscreen;
    offscreen.InitRenderTexture(32, 16, gfx::kFormatA8R8G8B8, 0, kRenderTextureOffscreen, gfx::kPoolSystemMem, 1);
    EXPECT_EQ(offscreen.GetPayload()->texture, nullptr);
    ASSERT_NE(offscreen.GetPayload()->target.colour, nullptr);
    EXPECT_EQ(offscreen.GetPayload()->target.colour->GetPool(), gfx::kPoolSystemMem);

    TextureResource target;
    target.InitRenderTexture(32, 16, gfx::kFormatA8R8G8B8, gfx::kFormatD24S8, kRenderTextureTarget,
                             gfx::kPoolDefault, 1);
    EXPECT_EQ(target.GetPayload()->texture, nullptr);
    EXPECT_NE(target.GetPayload()->target.colour, nullptr);
    EXPECT_EQ(target.GetState(), 2u);
}

TEST_F(RenderTextures, AFailedCreationStaysNotLoadedAndBindsNothing)
{
    gfx::Surface* before = BoundTarget();
    platform::testing::GfxFailureInjection inject;
    inject.Fail("CreateTexture", gfx::kOutOfVideoMemory);
    TextureResource broken;
    broken.InitRenderTexture(64, 64, gfx::kFormatA8R8G8B8, 0, 0, gfx::kPoolDefault, 1);
    EXPECT_TRUE(broken.IsValid());
    EXPECT_EQ(broken.GetState(), 0u);
    EXPECT_EQ(broken.GetPayload()->texture, nullptr);
    EXPECT_EQ(BoundTarget(), before);
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text.rfind("Can't create render texture! ", 0), 0u);
}

TEST_F(RenderTextures, ReleaseGivesBackSurfacesDepthStencilAndTexture)
{
    gfx::Device* device = run.Device();
    const size_t live = LiveObjects(*device);
    const int32_t surfaceMemory = run.Renderer()->Memory().VideoMemory(VideoMemoryKind::Surface);
    {
        TextureResource shadow;
        shadow.InitRenderTexture(256, 256, gfx::kFormatR32F, gfx::kFormatD24S8, gfx::kUsageRenderTarget,
                                 gfx::kPoolDefault, 1);
        EXPECT_GT(LiveObjects(*device), live);
        EXPECT_GT(run.Renderer()->Memory().VideoMemory(VideoMemoryKind::Surface), surfaceMemory);
        BindBackBuffer(); // the device holds what is bound
        shadow.ReleaseResource();
        EXPECT_FALSE(shadow.IsValid());
    }
    EXPECT_EQ(LiveObjects(*device), live) << "the depth-stencil surface is released too";
    EXPECT_EQ(run.Renderer()->Memory().VideoMemory(VideoMemoryKind::Surface), surfaceMemory);

    // A depth texture that is its own depth-stencil surface is released once.
    TextureResource depth;
    depth.InitRenderTexture(64, 64, gfx::kFormatD24S8, gfx::kFormatD24S8, gfx::kUsageDepthStencil,
                            gfx::kPoolDefault, 1);
    BindBackBuffer();
    depth.ReleaseResource();
    EXPECT_EQ(LiveObjects(*device), live);
}

TEST_F(RenderTextures, MipRegenerationMarksTheWholeTexture)
{
    TextureResource target;
    target.InitRenderTexture(64, 64, gfx::kFormatA8R8G8B8, 0, gfx::kUsageRenderTarget | gfx::kUsageAutoGenMipMap,
                             gfx::kPoolDefault, 0);
    platform::testing::GfxCallRecord record;
    target.RegenerateTextureMips();
    const auto dirty = record.Calls("AddDirtyRect");
    ASSERT_EQ(dirty.size(), 1u);
    EXPECT_EQ(dirty[0].args[2], 0u) << "no rectangle: the whole texture";
    EXPECT_EQ(record.Count("GenerateMipSubLevels"), 1u);
}

// ---- The direct road ----

TEST_F(RenderTextures, BeforeTheThreadsRunATextureLoadsAtOnce)
{
    const DdsSpec spec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 64, 32, 1, 7};
    WriteFile("direct.dds", WriteDds(spec, 11));
    const int32_t textureMemory = run.Renderer()->Memory().VideoMemory(VideoMemoryKind::Texture);
    TextureResource handle;
    EXPECT_TRUE(handle.LoadByName("direct.dds"));
    ASSERT_EQ(handle.GetState(), 2u);
    TextureData* data = handle.GetPayload();
    ASSERT_NE(data->texture, nullptr);
    EXPECT_EQ(Bytes(data->texture), PatternTexels(spec, 11));
    EXPECT_EQ(data->texture->GetPool(), gfx::kPoolDefault);
    EXPECT_EQ(data->kind, 0);
    EXPECT_NE(data->target.colour, nullptr);
    EXPECT_EQ(data->target.viewport.width, 64u);
    EXPECT_EQ(data->target.viewport.height, 32u);
    EXPECT_EQ(data->bytesPerTexel, 0u) << "DXT1 has half a byte a texel, truncated";
    EXPECT_EQ(data->fileName.View(), "direct.dds");
    EXPECT_GT(run.Renderer()->Memory().VideoMemory(VideoMemoryKind::Texture), textureMemory);
    EXPECT_TRUE(run.Boxes().empty());

    // A second handle of the name shares the block.
    TextureResource again;
    EXPECT_FALSE(again.LoadByName("direct.dds"));
    EXPECT_EQ(again.GetPayload(), data);
}

TEST_F(RenderTextures, CubeAndVolumeHandlesKeepTheirKindsAndAreReleased)
{
    const DdsSpec cube{gfx::kFormatDXT5, gfx::ImageKind::Cube, 16, 16, 1, 5};
    const DdsSpec volume{gfx::kFormatA8R8G8B8, gfx::ImageKind::Volume, 8, 8, 4, 4};
    WriteFile("sky.dds", WriteDds(cube, 2));
    WriteFile("fog.dds", WriteDds(volume, 3));
    const size_t live = LiveObjects(*run.Device());
    {
        TextureResource sky, fog;
        sky.SetTextureFlags(texture_flags::kCube);
        fog.SetTextureFlags(texture_flags::kVolume);
        sky.LoadByName("sky.dds");
        fog.LoadByName("fog.dds");
        ASSERT_EQ(sky.GetState(), 2u);
        ASSERT_EQ(fog.GetState(), 2u);
        EXPECT_EQ(sky.GetPayload()->kind, 1);
        EXPECT_EQ(fog.GetPayload()->kind, 2);
        EXPECT_EQ(sky.GetPayload()->texture->GetType(), gfx::kResourceCubeTexture);
        EXPECT_EQ(Bytes(sky.GetPayload()->texture), PatternTexels(cube, 2));
        EXPECT_EQ(Bytes(fog.GetPayload()->texture), PatternTexels(volume, 3));
        EXPECT_EQ(LiveObjects(*run.Device()), live + 2);
    }
    EXPECT_EQ(LiveObjects(*run.Device()), live) << "textures without a colour surface are released too";
}

TEST_F(RenderTextures, TgaAndBmpFilesLoadByName)
{
    const std::vector<uint8_t> picture = texture_test::Picture(16, 8);
    WriteFile("face.tga", texture_test::Tga32(16, 8, picture));
    WriteFile("face.bmp", texture_test::Bmp24(16, 8, picture));
    for (const char* name : {"face.tga", "face.bmp"}) {
        TextureResource handle;
        handle.pool = gfx::kPoolSystemMem;
        handle.LoadByName(name);
        ASSERT_EQ(handle.GetState(), 2u) << name;
        const std::vector<uint8_t> bytes = Bytes(handle.GetPayload()->texture);
        ASSERT_EQ(bytes.size(), picture.size());
        for (size_t i = 0; i < picture.size(); i += 4)
            ASSERT_EQ(std::vector<uint8_t>(bytes.begin() + i, bytes.begin() + i + 3),
                      std::vector<uint8_t>(picture.begin() + i, picture.begin() + i + 3))
                << name << " texel " << i / 4;
        EXPECT_EQ(handle.GetPayload()->bytesPerTexel, 4u);
    }
}

TEST_F(RenderTextures, MissingOrDamagedFilesStayNotLoaded)
{
    std::vector<uint8_t> damaged = WriteDds(DdsSpec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 64, 64, 1, 7});
    damaged.resize(200);
    WriteFile("damaged.dds", damaged);
    WriteFile("junk.tga", {1, 2, 3, 4, 5});

    TextureResource missing, broken, junk;
    missing.LoadByName("missing.dds");
    broken.LoadByName("damaged.dds");
    junk.LoadByName("junk.tga");
    for (TextureResource* handle : {&missing, &broken, &junk}) {
        EXPECT_TRUE(handle->IsValid());
        EXPECT_EQ(handle->GetState(), 0u);
        EXPECT_EQ(handle->GetPayload()->texture, nullptr);
    }
    EXPECT_NE(run.Out().find("File missing.dds not found in PhysFS"), std::string::npos);
    // The file system tells of the missing file; the decoder of the others.
    ASSERT_EQ(run.Boxes().size(), 2u);
    EXPECT_EQ(run.Boxes()[0].text.rfind("Can't load texture damaged.dds - wrong format or no file found.\n", 0), 0u)
        << run.Boxes()[0].text;
    EXPECT_EQ(run.Boxes()[1].text.rfind("Can't load texture junk.tga - wrong format or no file found.\n", 0), 0u);
}

} // namespace
