// The render device's upload handlers called directly with their task
// records: what a part does in each state, the check window on the platform
// clock, a read that never lets go of its buffer, a read that delivered
// nothing, and a file without a name.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "kernel/platform.h"
#include "kernel/queue_registry.h"
#include "kernel/thread_map.h"
#include "platform/gfx/device/format.h"
#include "render/device/texture_upload_module.h"
#include "render/textures/texture_pool.h"
#include "testing/gfx_call_record.h"
#include "tests/render/texture_run.h"

namespace {

class ClockPlatform : public Platform {
public:
    double GetSeconds() override { return now; }
    double now = 100.0;
};

class PartUploads : public texture_test::TextureRun {
protected:
    void SetUp() override
    {
        TextureRun::SetUp();
        SetPlatform(&clock);
        ASSERT_TRUE(BuildTexturePool(pool, 1, 64, 64, gfx::kFormatA8R8G8B8, 1));
        texture.texturePool = &pool;
        texture.AttachById(pool.videoEntries[0].GetId());
        block = texture.GetBlock();
        block->state = 1;
        // The system-memory texture already holds its texels.
        uint8_t* bits = platform::testing::TextureBytes(*SystemTexture()).data();
        for (size_t i = 0; i < 64 * 64 * 4; ++i)
            bits[i] = static_cast<uint8_t>(i + 1);
    }
    void TearDown() override
    {
        texture.ReleaseResource();
        SetPlatform(nullptr);
    }

    gfx::BaseTexture* SystemTexture() { return pool.systemEntries[0].GetPayload()->texture; }
    gfx::BaseTexture* VideoTexture() { return pool.videoEntries[0].GetPayload()->texture; }

    TaskMessage Part(uint8_t flag, int32_t left = 0, int32_t top = 0, int32_t right = 32, int32_t bottom = 32)
    {
        return UploadTexPartTask(static_cast<uint32_t>(left), static_cast<uint32_t>(top),
                                 static_cast<uint32_t>(right), static_cast<uint32_t>(bottom), flag, &file,
                                 &pool.videoEntries[0].GetPayload()->texture,
                                 &pool.systemEntries[0].GetPayload()->texture, block);
    }

    ClockPlatform clock;
    TexturePool pool;
    TextureResource texture;
    TextureBlock* block = nullptr;
    FileBuffer file;
};

TEST_F(PartUploads, TheRenderDeviceServesBothUploadTasks)
{
    RenderDevice* renderer = run.Renderer();
    renderer->Uploads().RegisterHandlers();
    EXPECT_TRUE(renderer->Uploads().HasHandler(RSHash("UploadTexToVRAM")));
    EXPECT_TRUE(renderer->Uploads().HasHandler(RSHash("UploadTexPartToVRAM")));
}

TEST_F(PartUploads, APartOfACancelledOrFinishedLoadTouchesNothing)
{
    platform::testing::GfxCallRecord record;
    for (uint32_t state : {0u, 2u}) {
        block->state = state;
        TaskMessage task = Part(kLastPart);
        run.Renderer()->Uploads().UploadTexPartToVRAM(&task);
        EXPECT_EQ(block->state, state);
    }
    EXPECT_EQ(record.Count("UpdateTexture"), 0u);
    EXPECT_EQ(record.Count("LockRect"), 0u);
    EXPECT_FALSE(file.IsBusy());
}

TEST_F(PartUploads, OnlyThePartFlaggedLastMakesTheTextureLoaded)
{
    TaskMessage first = Part(kFirstPart, 0, 0, 32, 32);
    TaskMessage middle = Part(kMiddlePart, 32, 0, 64, 32);
    TaskMessage last = Part(kLastPart, 0, 32, 64, 64);
    run.Renderer()->Uploads().UploadTexPartToVRAM(&first);
    EXPECT_EQ(block->state, 1u);
    const std::vector<uint8_t> source = texture_test::Bytes(SystemTexture());
    const std::vector<uint8_t> afterFirst = texture_test::Bytes(VideoTexture());
    EXPECT_TRUE(std::equal(source.begin(), source.begin() + 32 * 4, afterFirst.begin()));
    EXPECT_EQ(afterFirst[32 * 4], 0) << "only the first part's square";
    run.Renderer()->Uploads().UploadTexPartToVRAM(&middle);
    EXPECT_EQ(block->state, 1u);
    run.Renderer()->Uploads().UploadTexPartToVRAM(&last);
    EXPECT_EQ(block->state, 2u);
    EXPECT_EQ(texture_test::Bytes(VideoTexture()), source);
    EXPECT_FALSE(file.IsBusy());

    // A cancelled last part does not finish the load.
    block->state = 1;
    TaskMessage cancelled = Part(kLastPart);
    cancelled.cancelled = 1;
    run.Renderer()->Uploads().UploadTexPartToVRAM(&cancelled);
    EXPECT_EQ(block->state, 1u);
}

TEST_F(PartUploads, PartsAreCheckedOnlyWithinSevenSecondsOfTheFirst)
{
    TaskMessage task = Part(kMiddlePart);
    run.Renderer()->Uploads().UploadTexPartToVRAM(&task);
    EXPECT_EQ(run.Renderer()->Uploads().NextUploadCheck(), 107.0);
    clock.now = 106.5;
    run.Renderer()->Uploads().UploadTexPartToVRAM(&task);
    EXPECT_EQ(run.Out(), "!DBG!REMOVE ME! 67305985\n!DBG!REMOVE ME! 67305985\n");
    run.ClearOut();
    clock.now = 107.5;
    platform::testing::GfxCallRecord record;
    run.Renderer()->Uploads().UploadTexPartToVRAM(&task);
    EXPECT_EQ(run.Out(), "");
    EXPECT_EQ(record.Count("LockRect"), 0u);
    EXPECT_EQ(run.Renderer()->Uploads().NextUploadCheck(), 107.0) << "armed once, never again";
}

TEST_F(PartUploads, AReadThatNeverLetsGoCancelsTheLoad)
{
    ASSERT_TRUE(file.TryTakeBusy());
    const auto start = std::chrono::steady_clock::now();
    TaskMessage task = Part(kLastPart);
    run.Renderer()->Uploads().UploadTexPartToVRAM(&task);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(task.cancelled.load(), 1);
    EXPECT_EQ(block->state, 0u);
    EXPECT_NE(run.Out().find("never finished reading; load cancelled."), std::string::npos);
    file.ReleaseBusy();
}

TEST_F(PartUploads, AReadThatDeliveredTooLittleCancelsAndAsksForRepair)
{
    GetQueueRegistry()->ResetQueues();
    GetThreadMap().Insert(kRenderThreadId, GetRenderThread());
    block->payload.pendingReadBytes = 64 * 64 * 4;
    file.name.Assign("tile.dds");
    TaskMessage task = Part(kLastPart);
    platform::testing::GfxCallRecord record;
    run.Renderer()->Uploads().UploadTexPartToVRAM(&task);
    GetThreadMap().Erase(kRenderThreadId, GetRenderThread());

    EXPECT_EQ(task.cancelled.load(), 1);
    EXPECT_EQ(block->state, 0u);
    EXPECT_FALSE(file.IsBusy());
    EXPECT_EQ(record.Count("UpdateTexture"), 0u);
    EXPECT_NE(run.Out().find("RECOVERING FROM BUG\n"), std::string::npos);
    QueueRegistry* registry = GetQueueRegistry();
    ASSERT_EQ(registry->ring.Count(), 1u);
    const TaskBatch& repair = registry->ring.Front();
    ASSERT_EQ(repair.tasks.Count(), 1u);
    const TaskMessage& posted = repair.tasks.Front();
    EXPECT_EQ(posted.taskId, RSHash("FTTFixMe"));
    EXPECT_EQ(posted.tag.View(), "fx");
    EXPECT_EQ(posted.target, GetRenderThread());
    const unsigned char zero[kTaskPayloadSize] = {};
    EXPECT_EQ(std::memcmp(posted.payload, zero, kTaskPayloadSize), 0);
    registry->ResetQueues();
}

TEST_F(PartUploads, AReadTexelsGoIntoTheSystemTextureLevelByLevel)
{
    block->payload.pendingReadBytes = 64 * 64 * 4;
    std::vector<uint8_t> texels(64 * 64 * 4);
    for (size_t i = 0; i < texels.size(); ++i)
        texels[i] = static_cast<uint8_t>(i * 3);
    file.data = texels.data();
    file.size = static_cast<uint32_t>(texels.size());
    file.external = 1;
    file.name.Assign("tile.dds");
    TaskMessage task = Part(kLastPart, 0, 0, 64, 64);
    run.Renderer()->Uploads().UploadTexPartToVRAM(&task);
    EXPECT_EQ(block->state, 2u);
    EXPECT_EQ(block->payload.pendingReadBytes, 0u);
    EXPECT_EQ(texture_test::Bytes(SystemTexture()), texels);
    EXPECT_EQ(texture_test::Bytes(VideoTexture()), texels);
}

TEST_F(PartUploads, AnUnnamedFileIsAFault)
{
    TextureResource handle;
    handle.CreateUnique();
    TextureBlock* own = handle.GetBlock();
    TaskMessage task = UploadTexTask(&file, &own->payload.texture, &own->payload.target.colour, own);
    run.Renderer()->Uploads().UploadTexToVRAM(&task);
    EXPECT_EQ(run.Out(), "FAULT\n");
    EXPECT_EQ(own->state, 0u);
    EXPECT_EQ(own->payload.texture, nullptr);
}

} // namespace
