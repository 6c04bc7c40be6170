// Copy tasks: compressed blocks from a file in memory into a rectangle of a
// texture, cancelled copies, and the inputs a copy refuses.
#include <gtest/gtest.h>

#include <cstring>

#include "kernel/engine_threads.h"
#include "platform/gfx/device/format.h"
#include "render/textures/copy_tasks.h"
#include "testing/dds_writer.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_device_hooks.h"
#include "testing/gfx_failure_injection.h"
#include "tests/render/texture_run.h"

namespace {

using platform::testing::DdsSpec;
using platform::testing::WriteDds;

class CopyTasks : public texture_test::TextureRun {
protected:
    void SetUp() override
    {
        TextureRun::SetUp();
        CopyCancelMap().clear();
        texture_test::WriteFile("blank.dds", WriteDds(DdsSpec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 64, 64, 1, 1},
                                                      std::vector<uint8_t>(64 * 64 / 2, 0)));
        target.pool = gfx::kPoolManaged;
        target.LoadByName("blank.dds");
        ASSERT_EQ(target.GetState(), 2u);
        // The image to copy: 16 x 16 texels, blocks numbered 1, 2, 3...
        image = WriteDds(DdsSpec{gfx::kFormatDXT1, gfx::ImageKind::Texture2D, 16, 16, 1, 1},
                         [] {
                             std::vector<uint8_t> blocks(16 * 16 / 2);
                             for (size_t i = 0; i < blocks.size(); ++i)
                                 blocks[i] = static_cast<uint8_t>(i / 8 + 1);
                             return blocks;
                         }());
        source.data = image.data();
        source.size = static_cast<uint32_t>(image.size());
        source.external = 1;
        source.name.Assign("image.dds");
    }
    void TearDown() override { CopyCancelMap().clear(); }

    TaskMessage CopyTo(uint16_t x, uint16_t y, uint16_t width, uint16_t height, FileBuffer* from = nullptr,
                       uint32_t rowLength = 64)
    {
        TaskMessage task;
        task.taskId = kPureCopyToId;
        task.Set<PureCopyToArgs::Target>(&target);
        task.Set<PureCopyToArgs::Status>(&status);
        task.Set<PureCopyToArgs::X>(x);
        task.Set<PureCopyToArgs::Y>(y);
        task.Set<PureCopyToArgs::Width>(width);
        task.Set<PureCopyToArgs::Height>(height);
        task.Set<PureCopyToArgs::Source>(from ? from : &source);
        task.Set<PureCopyToArgs::RowLength>(rowLength);
        return task;
    }
    TaskMessage Unload(const FileBuffer* from)
    {
        TaskMessage task;
        task.taskId = kPureCopyUnloadId;
        task.Set<PureCopyUnloadArgs::Key>(reinterpret_cast<uintptr_t>(from));
        task.Set<PureCopyUnloadArgs::Status>(&status);
        return task;
    }
    void Run(TaskMessage task)
    {
        if (task.taskId == kPureCopyToId)
            CopyTaskHandler::PureCopyTo(nullptr, &task);
        else
            CopyTaskHandler::PureCopyUnload(nullptr, &task);
    }
    // The 8-byte block at block column bx, block row by of the target.
    std::vector<uint8_t> TargetBlock(uint32_t bx, uint32_t by)
    {
        const uint8_t* bits = platform::testing::TextureBytes(*target.GetPayload()->texture).data();
        const uint8_t* at = bits + by * (64 / 4 * 8) + bx * 8;
        return {at, at + 8};
    }
    static std::vector<uint8_t> Block(uint8_t value) { return std::vector<uint8_t>(8, value); }

    TextureResource target;
    std::vector<uint8_t> image;
    FileBuffer source;
    uint32_t status = kCopyPending;
};

TEST_F(CopyTasks, BlocksLandInTheRectangleRowByRow)
{
    Run(CopyTo(4, 8, 8, 8));
    EXPECT_EQ(status, kCopyDone);
    // Source rows hold blocks 1, 2 then 3, 4 (two blocks per row of an 8-wide copy).
    EXPECT_EQ(TargetBlock(1, 2), Block(1));
    EXPECT_EQ(TargetBlock(2, 2), Block(2));
    EXPECT_EQ(TargetBlock(1, 3), Block(3));
    EXPECT_EQ(TargetBlock(2, 3), Block(4));
    EXPECT_EQ(TargetBlock(0, 2), Block(0));
    EXPECT_EQ(TargetBlock(3, 2), Block(0));
    EXPECT_EQ(target.bytesPerTexel, 2u) << "pitch 128 over 64 texels";
    EXPECT_TRUE(run.Boxes().empty());
}

TEST_F(CopyTasks, BlockRowsLieTheRowLengthApart)
{
    // A row length of 32 texels puts each block row 64 bytes after the last:
    // half way along a row of this 64-wide texture.
    Run(CopyTo(0, 0, 8, 8, nullptr, 32));
    EXPECT_EQ(status, kCopyDone);
    EXPECT_EQ(TargetBlock(0, 0), Block(1));
    EXPECT_EQ(TargetBlock(1, 0), Block(2));
    EXPECT_EQ(TargetBlock(8, 0), Block(3));
    EXPECT_EQ(TargetBlock(9, 0), Block(4));
    EXPECT_EQ(TargetBlock(0, 1), Block(0));

    // Wider than the texture: rows would land past the lock, so none is copied.
    status = kCopyPending;
    FileBuffer wide;
    wide.data = image.data();
    wide.size = static_cast<uint32_t>(image.size());
    wide.external = 1;
    wide.name.Assign("image.dds");
    Run(CopyTo(0, 8, 8, 8, &wide, 128));
    EXPECT_EQ(status, kCopyDropped);
    EXPECT_EQ(TargetBlock(0, 2), Block(0));
    EXPECT_EQ(TargetBlock(0, 4), Block(0));
    EXPECT_TRUE(run.Boxes().empty());

    // An empty rectangle asks for nothing and is done.
    status = kCopyPending;
    FileBuffer none;
    none.data = image.data();
    none.size = static_cast<uint32_t>(image.size());
    none.external = 1;
    none.name.Assign("image.dds");
    platform::testing::GfxCallRecord record;
    Run(CopyTo(0, 0, 0, 8, &none));
    EXPECT_EQ(status, kCopyDone);
    EXPECT_EQ(record.Count("LockRect"), 0u);
}

TEST_F(CopyTasks, PartialBlocksAreNotCopied)
{
    Run(CopyTo(0, 0, 10, 4));
    EXPECT_EQ(status, kCopyDone);
    EXPECT_EQ(TargetBlock(0, 0), Block(1));
    EXPECT_EQ(TargetBlock(1, 0), Block(2));
    EXPECT_EQ(TargetBlock(2, 0), Block(0)) << "two blocks (16 bytes) a row for a width of 10";

    status = kCopyPending;
    platform::testing::GfxCallRecord record;
    FileBuffer pooled;
    ASSERT_TRUE(GetFileSystem()->LoadFile(pooled, "blank.dds"));
    Run(CopyTo(0, 0, 8, 3, &pooled));
    EXPECT_EQ(status, kCopyDone) << "a height below 4 copies nothing yet completes";
    EXPECT_EQ(record.Count("LockRect"), 1u);
    EXPECT_EQ(record.Count("UnlockRect"), 1u);
    EXPECT_EQ(pooled.data, nullptr) << "the source's memory goes back";
}

TEST_F(CopyTasks, AQueuedCopyIsCancelledByItsSource)
{
    Run(Unload(&source));
    EXPECT_EQ(status, kCopyPending);
    EXPECT_EQ(CopyCancelMap()[reinterpret_cast<uintptr_t>(&source)], 1u);
    platform::testing::GfxCallRecord record;
    Run(CopyTo(0, 0, 8, 8));
    EXPECT_EQ(status, kCopyDropped);
    EXPECT_EQ(CopyCancelMap()[reinterpret_cast<uintptr_t>(&source)], 0u);
    EXPECT_EQ(record.Count("LockRect"), 0u);
    EXPECT_EQ(TargetBlock(0, 0), Block(0));

    // Cancelling a copy that has run only clears the status.
    status = kCopyDone;
    FileBuffer other;
    Run(Unload(&other));
    EXPECT_EQ(status, kCopyDropped);
    EXPECT_EQ(CopyCancelMap().count(reinterpret_cast<uintptr_t>(&other)), 0u);

    // A cancelled copy from an empty buffer still clears its entry.
    status = kCopyPending;
    Run(Unload(&other));
    Run(CopyTo(0, 0, 8, 8, &other));
    EXPECT_EQ(status, kCopyDropped);
    EXPECT_EQ(CopyCancelMap()[reinterpret_cast<uintptr_t>(&other)], 0u);
}

TEST_F(CopyTasks, CancelKeysAreWholeAddresses)
{
    const uintptr_t key = reinterpret_cast<uintptr_t>(&source);
    // An address that agrees with the source's in its low 32 bits only.
    CopyCancelMap()[key ^ (uintptr_t{1} << 40)] = 1;
    Run(CopyTo(0, 0, 8, 8));
    EXPECT_EQ(status, kCopyDone);
    EXPECT_EQ(TargetBlock(0, 0), Block(1));
}

TEST_F(CopyTasks, EmptyShortOrUnlockableSourcesAreRefused)
{
    FileBuffer empty;
    Run(CopyTo(0, 0, 8, 8, &empty));
    EXPECT_EQ(status, kCopyDropped);

    status = kCopyPending;
    platform::testing::GfxCallRecord record;
    Run(CopyTo(0, 0, 32, 32)); // the image holds 16 x 16 texels only
    EXPECT_EQ(status, kCopyDropped);
    EXPECT_EQ(record.Count("LockRect"), 0u);
    EXPECT_EQ(TargetBlock(0, 0), Block(0));

    status = kCopyPending;
    Run(CopyTo(56, 56, 16, 16)); // past the texture's edge
    EXPECT_EQ(status, kCopyDropped);
    EXPECT_EQ(record.Count("LockRect"), 0u);

    status = kCopyPending;
    platform::testing::GfxFailureInjection inject;
    inject.Fail("LockRect", gfx::kInvalidCall);
    Run(CopyTo(0, 0, 8, 8));
    EXPECT_EQ(status, kCopyDropped);
    EXPECT_EQ(TargetBlock(0, 0), Block(0));
    ASSERT_EQ(run.Boxes().size(), 1u);
    EXPECT_EQ(run.Boxes()[0].text.rfind("LockRect failed.\n", 0), 0u);
}

TEST_F(CopyTasks, ATextureWithoutViewportStillCopies)
{
    target.GetPayload()->target.viewport.width = 0;
    Run(CopyTo(0, 0, 8, 8));
    EXPECT_EQ(status, kCopyDone);
    EXPECT_EQ(target.bytesPerTexel, 2u);
}

TEST_F(CopyTasks, TheModuleServesBothTasksOnItsThread)
{
    {
        RenderThread thread;
        CopyTaskHandler* module = CreateCopyTaskHandler(&thread);
        EXPECT_TRUE(module->owned);
        EXPECT_EQ(GetCopyTaskHandler(), module);
        ASSERT_EQ(thread.ModuleCount(), 1u);
        module->RegisterHandlers();
        EXPECT_TRUE(module->HasHandler(kPureCopyToId));
        EXPECT_TRUE(module->HasHandler(kPureCopyUnloadId));
        TaskMessage unknown;
        unknown.taskId = RSHash("Nothing");
        module->Dispatch(&unknown);
        TaskMessage copy = CopyTo(0, 0, 4, 4);
        module->Dispatch(&copy);
        EXPECT_EQ(status, kCopyDone);
    }
    EXPECT_EQ(GetCopyTaskHandler(), nullptr) << "the thread deleted its module";
}

} // namespace
