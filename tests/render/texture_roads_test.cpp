// A texture asked for by name once the engine threads run: through the tasks
// ("LoadFromHDD" on IOTHREAD, then "UploadTexToVRAM"), and through a texture
// pool in square parts ("UploadTexPartToVRAM"), each ending with the file's
// bytes in the device and its block described alike whichever road it took;
// failures, a full pool, a pool that parts cannot tile and releases while
// loading.
#include <gtest/gtest.h>

#include <cstring>

#include "kernel/rs_hash.h"
#include "platform/gfx/device/format.h"
#include "render/textures/texture_pool.h"
#include "render/textures/texture_resource.h"
#include "testing/dds_writer.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_device_hooks.h"
#include "tests/render/texture_run.h"

namespace {

using platform::testing::DdsSpec;
using platform::testing::LiveObjects;
using platform::testing::PatternTexels;
using platform::testing::WriteDds;
using texture_test::Bytes;
using texture_test::WriteFile;

class TextureRoads : public texture_test::TextureRun {
protected:
    // Loads `name` in the first cycle and runs until its load has ended and no
    // batch is in flight.
    void LoadAndWait(TextureResource& handle, const std::string& name)
    {
        RunThreads([&](int round) {
            if (round == 1) {
                EXPECT_TRUE(handle.LoadByName(name));
                return false;
            }
            return handle.GetState() != 1 && Idle();
        });
    }

    size_t Count(const std::string& line) const
    {
        const std::string out = run.Out();
        size_t count = 0;
        for (size_t at = out.find(line); at != std::string::npos; at = out.find(line, at + 1))
            ++count;
        return count;
    }
};

// ---- Tasks ----

TEST_F(TextureRoads, TheTaskRoadReadsOnIOAndUploadsOnRender)
{
    const DdsSpec spec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 64, 64, 1, 7};
    WriteFile("tasks.dds", WriteDds(spec, 21));
    TextureResource handle;
    platform::testing::GfxCallRecord record;
    RunThreads([&](int round) {
        if (round == 1) {
            handle.LoadByName("tasks.dds");
            EXPECT_EQ(handle.GetState(), 1u) << "loading until the render thread has made it";
            EXPECT_EQ(handle.GetPayload()->texture, nullptr);
            return false;
        }
        return handle.GetState() != 1 && Idle();
    });
    ASSERT_EQ(handle.GetState(), 2u);
    TextureData* data = handle.GetPayload();
    ASSERT_NE(data->texture, nullptr);
    EXPECT_EQ(data->texture->GetPool(), gfx::kPoolDefault);
    EXPECT_EQ(Bytes(data->texture), PatternTexels(spec, 21));
    ASSERT_NE(data->target.colour, nullptr);
    EXPECT_EQ(data->target.colour->Container(), data->texture);
    EXPECT_EQ(data->fileName.View(), "tasks.dds");
    EXPECT_EQ(handle.fileBuffer.data, nullptr) << "the file's bytes go back once the texture is made";
    EXPECT_NE(run.Out().find("load tasks.dds\n"), std::string::npos);
    EXPECT_TRUE(run.Boxes().empty());
}

TEST_F(TextureRoads, EveryRoadDescribesTheTextureItMadeAlike)
{
    // 64 x 64 DXT5 with its full chain of seven levels: one byte a texel.
    const DdsSpec spec{gfx::kFormatDXT5, gfx::ImageKind::Texture2D, 64, 64, 1, 7};
    for (const char* name : {"direct.dds", "tasks.dds", "pooled.dds"})
        WriteFile(name, WriteDds(spec, 9));
    TexturePool pool;
    ASSERT_TRUE(BuildTexturePool(pool, 1, 64, 64, gfx::kFormatDXT5, 7));
    TextureResource direct, tasks, pooled;
    direct.async = 0;
    pooled.texturePool = &pool;
    RunThreads([&](int round) {
        if (round == 1) {
            direct.LoadByName("direct.dds");
            tasks.LoadByName("tasks.dds");
            pooled.LoadByName("pooled.dds");
            return false;
        }
        return tasks.GetState() != 1 && pooled.GetState() != 1 && Idle();
    });
    for (TextureResource* handle : {&direct, &tasks, &pooled}) {
        ASSERT_EQ(handle->GetState(), 2u);
        const TextureData* data = handle->GetPayload();
        ASSERT_NE(data->texture, nullptr);
        SCOPED_TRACE(handle == &direct ? "at once" : handle == &tasks ? "through the tasks" : "through the pool");
        EXPECT_EQ(data->kind, 0);
        EXPECT_EQ(data->target.viewport.width, 64u);
        EXPECT_EQ(data->target.viewport.height, 64u);
        EXPECT_EQ(data->bytesPerTexel, 1u);
        EXPECT_EQ(data->levels, 7u);
        EXPECT_EQ(Bytes(data->texture), PatternTexels(spec, 9));
    }
    EXPECT_NE(direct.GetPayload()->target.colour, nullptr);
    EXPECT_NE(tasks.GetPayload()->target.colour, nullptr);
    pooled.ReleaseResource();
}

TEST_F(TextureRoads, AFailedReadOrDecodeLeavesTheTaskRoadNotLoaded)
{
    std::vector<uint8_t> junk{'D', 'D', 'S', ' ', 9, 9, 9, 9};
    WriteFile("junk.dds", junk);
    TextureResource missing, broken;
    RunThreads([&](int round) {
        if (round == 1) {
            missing.LoadByName("nowhere.dds");
            broken.LoadByName("junk.dds");
            return false;
        }
        return missing.GetState() != 1 && broken.GetState() != 1 && Idle();
    });
    EXPECT_EQ(missing.GetState(), 0u);
    EXPECT_EQ(broken.GetState(), 0u);
    EXPECT_EQ(missing.GetPayload()->texture, nullptr);
    EXPECT_EQ(broken.GetPayload()->texture, nullptr);
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text.rfind("Can't load texture junk.dds - wrong format or no file found.\n", 0), 0u);
}

TEST_F(TextureRoads, ReleasedWhileLoadingTheTextureIsStillFreedOnceMade)
{
    WriteFile("brief.dds", WriteDds(DdsSpec{gfx::kFormatDXT5, gfx::ImageKind::Texture2D, 32, 32, 1, 6}));
    const size_t live = LiveObjects(*run.Device());
    TextureResource handle;
    int quiet = 0;
    RunThreads([&](int round) {
        if (round == 1) {
            handle.LoadByName("brief.dds");
            handle.ReleaseResource();
            EXPECT_FALSE(handle.IsValid());
            return false;
        }
        quiet = Idle() ? quiet + 1 : 0;
        return quiet > 3;
    });
    EXPECT_EQ(LiveObjects(*run.Device()), live) << "the texture made after the release is released too";
    EXPECT_EQ(TextureResource::RegisteredBlock(RSHash("brief.dds")), nullptr);
}

// ---- The texture pool ----

TEST(PooledParts, SidesCountsAndReadSizes)
{
    EXPECT_EQ(PooledPartSide(1024), 1024u);
    EXPECT_EQ(PooledPartSide(2048), 2048u);
    EXPECT_EQ(PooledPartSide(4096), 2048u);
    EXPECT_EQ(PooledPartSide(3000), 3000u);
    EXPECT_EQ(PooledPartSide(5000), 2500u);
    EXPECT_EQ(PooledPartCount(2048, 2048, 2048), 1.0f);
    EXPECT_EQ(PooledPartCount(4096, 4096, 2048), 4.0f);
    EXPECT_EQ(PooledPartCount(4096, 2048, 2048), 2.0f);
    EXPECT_NEAR(PooledPartCount(3000, 2000, 3000), 0.6667f, 1e-3);
    EXPECT_EQ(PooledPartCount(0, 0, 0), 0.0f);
    EXPECT_EQ(PooledReadSize(gfx::kFormatDXT1, 2048, 2048, 2), 2621440u);
    // A level side of 6 texels is read as whole 4 x 4 blocks: 8 x 8.
    EXPECT_EQ(PooledReadSize(gfx::kFormatDXT1, 12, 12, 2), 12u * 12 / 2 + 8 * 8 / 2);
    // Levels of a wide texture are wide: 4096 x 2048, then 2048 x 1024.
    EXPECT_EQ(PooledReadSize(gfx::kFormatDXT1, 4096, 2048, 2), 4096u * 2048 / 2 + 2048 * 1024 / 2);
    EXPECT_EQ(PooledReadSize(gfx::kFormatA8, 16, 8, 1), 128u);
}

TEST_F(TextureRoads, APooledTextureArrivesInSquarePartsOnePerCycle)
{
    TexturePool pool;
    ASSERT_TRUE(BuildTexturePool(pool, 2, 4096, 2048, gfx::kFormatDXT1, 2));
    const DdsSpec spec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 4096, 2048, 1, 2};
    WriteFile("atlas.dds", WriteDds(spec, 31));
    const std::vector<uint8_t> texels = PatternTexels(spec, 31);
    gfx::BaseTexture* video = pool.videoEntries[0].GetPayload()->texture;

    TextureResource handle;
    handle.texturePool = &pool;
    platform::testing::GfxCallRecord record;
    bool sawHalf = false;
    RunThreads([&](int round) {
        if (round == 1) {
            handle.LoadByName("atlas.dds");
            EXPECT_EQ(handle.GetPayload(), pool.videoEntries[0].GetPayload()) << "the lowest free entry's block";
            EXPECT_EQ(pool.videoEntries[0].GetState(), 1u);
            return false;
        }
        if (handle.GetState() == 1) {
            // After the first part only the left square is in video memory.
            const uint8_t* bits = platform::testing::TextureBytes(*video).data();
            if (std::memcmp(bits, texels.data(), 4096) == 0) {
                std::vector<uint8_t> zero(4096, 0);
                sawHalf = sawHalf || std::memcmp(bits + 4096, zero.data(), 4096) == 0;
            }
        }
        return handle.GetState() != 1 && Idle();
    });
    ASSERT_EQ(handle.GetState(), 2u);
    EXPECT_TRUE(sawHalf) << "the parts arrive one per cycle";
    EXPECT_EQ(Bytes(video), texels) << "both levels, each by its own size";
    EXPECT_EQ(handle.poolIndex, 0);
    EXPECT_EQ(handle.GetId(), RSHash("atlas.dds"));
    EXPECT_EQ(handle.GetPayload()->fileName.View(), "atlas.dds");
    EXPECT_EQ(record.Count("UpdateTexture"), 2u);
    EXPECT_EQ(Count("submit atlas.dds\n"), 1u);
    EXPECT_EQ(Count("!DBG!REMOVE ME! "), 2u) << "both parts fall in the check window";
    EXPECT_EQ(handle.fileBuffer.data, nullptr);
    EXPECT_TRUE(run.Boxes().empty());

    // The last user gives the entry back; its texture stays with the pool.
    handle.ReleaseResource();
    EXPECT_EQ(pool.videoEntries[0].GetState(), 0u);
    EXPECT_EQ(FindFreePoolEntry(pool), 0);
    EXPECT_EQ(pool.videoEntries[0].GetPayload()->texture, video);
}

TEST_F(TextureRoads, AFirstTexelOfBlackIsNoFailedRead)
{
    TexturePool pool;
    ASSERT_TRUE(BuildTexturePool(pool, 1, 256, 256, gfx::kFormatDXT1, 1));
    const DdsSpec spec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 256, 256, 1, 1};
    std::vector<uint8_t> texels = PatternTexels(spec, 5);
    std::memset(texels.data(), 0, 8);
    WriteFile("night.dds", WriteDds(spec, texels));
    TextureResource handle;
    handle.texturePool = &pool;
    LoadAndWait(handle, "night.dds");
    EXPECT_EQ(handle.GetState(), 2u);
    EXPECT_EQ(Bytes(handle.GetPayload()->texture), texels);
    EXPECT_EQ(Count("!DBG!REMOVE ME! 0\n"), 1u);
    EXPECT_EQ(Count("RECOVERING FROM BUG"), 0u);
}

// Keeps the block LoadByName gave the handle, which a pooled load lets go.
struct WatchedTexture : TextureResource {
    void DoLoad(const std::string& name) override { own = GetBlock(), TextureResource::DoLoad(name); }
    TextureBlock* own = nullptr;
};

TEST_F(TextureRoads, EntriesAreTakenLowestFirstUntilThePoolIsFull)
{
    TexturePool pool;
    ASSERT_TRUE(BuildTexturePool(pool, 2, 64, 64, gfx::kFormatDXT1, 1));
    const DdsSpec spec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 64, 64, 1, 1};
    for (const char* name : {"a.dds", "b.dds", "c.dds"})
        WriteFile(name, WriteDds(spec, static_cast<uint32_t>(name[0])));
    WatchedTexture a, b, c, d;
    for (TextureResource* handle : {&a, &b, &c, &d})
        handle->texturePool = &pool;
    RunThreads([&](int round) {
        if (round == 1) {
            a.LoadByName("a.dds");
            b.LoadByName("b.dds");
            run.ClearOut();
            c.LoadByName("c.dds");
            EXPECT_FALSE(c.IsValid()) << "no entry: the handle keeps no block";
            EXPECT_NE(run.Out().find("Out of textures in texture pool...\n"), std::string::npos);
            return false;
        }
        if (round == 2) {
            a.ReleaseResource();
            d.LoadByName("c.dds");
            EXPECT_EQ(d.poolIndex, 0) << "the lowest free entry again";
            return false;
        }
        return b.GetState() == 2 && d.GetState() == 2 && Idle();
    });
    EXPECT_EQ(b.poolIndex, 1);
    EXPECT_EQ(Bytes(b.GetPayload()->texture), PatternTexels(spec, 'b'));
    EXPECT_EQ(Bytes(d.GetPayload()->texture), PatternTexels(spec, 'c'));
    // The blocks a full pool and a pooled load let go are only marked free.
    EXPECT_EQ(Count("RenderTexture without surface released.\n"), 0u);
    EXPECT_EQ(c.own->state, 0u);
    EXPECT_EQ(d.own->state, 0u);
}

TEST_F(TextureRoads, PartsThatCannotTileThePoolFailTheLoadAndTakeNoEntry)
{
    TexturePool pool;
    ASSERT_TRUE(BuildTexturePool(pool, 1, 3000, 2000, gfx::kFormatDXT1, 1));
    WriteFile("wide.dds", WriteDds(DdsSpec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 3000, 2000, 1, 1}));
    TextureResource handle;
    handle.texturePool = &pool;
    RunThreads([&](int round) {
        if (round == 1) {
            handle.LoadByName("wide.dds");
            return false;
        }
        return Idle();
    });
    EXPECT_EQ(handle.GetState(), 0u);
    EXPECT_EQ(FindFreePoolEntry(pool), 0);
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text.rfind("loading non-rectangular pooled texture (FIXME).\n", 0), 0u);
}

TEST_F(TextureRoads, AFailedPooledReadEndsTheLoadWithoutWaitingForever)
{
    TexturePool pool;
    ASSERT_TRUE(BuildTexturePool(pool, 1, 128, 128, gfx::kFormatDXT1, 1));
    // Too short for the texels the pool needs: the read fails.
    WriteFile("short.dds", WriteDds(DdsSpec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 64, 64, 1, 1}));
    TextureResource shortFile, missing;
    shortFile.texturePool = &pool;
    missing.texturePool = &pool;
    LoadAndWait(shortFile, "short.dds");
    EXPECT_EQ(shortFile.GetState(), 0u);
    EXPECT_EQ(FindFreePoolEntry(pool), -1) << "still held by the failed texture";
    shortFile.ReleaseResource();
    EXPECT_EQ(FindFreePoolEntry(pool), 0);

    LoadAndWait(missing, "absent.dds");
    EXPECT_EQ(missing.GetState(), 0u);
    missing.ReleaseResource();
    EXPECT_EQ(FindFreePoolEntry(pool), 0);
}

TEST_F(TextureRoads, APooledTextureReleasedWhileLoadingFreesItsEntryAndUploadsNothing)
{
    TexturePool pool;
    ASSERT_TRUE(BuildTexturePool(pool, 1, 4096, 2048, gfx::kFormatDXT1, 1));
    WriteFile("gone.dds", WriteDds(DdsSpec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 4096, 2048, 1, 1}));
    TextureResource handle;
    handle.texturePool = &pool;
    platform::testing::GfxCallRecord record;
    int quiet = 0;
    RunThreads([&](int round) {
        if (round == 1) {
            handle.LoadByName("gone.dds");
            handle.ReleaseResource();
            EXPECT_EQ(pool.videoEntries[0].GetState(), 0u);
            return false;
        }
        quiet = Idle() ? quiet + 1 : 0;
        return quiet > 3;
    });
    EXPECT_EQ(record.Count("UpdateTexture"), 0u);
    EXPECT_EQ(FindFreePoolEntry(pool), 0);
}

} // namespace
