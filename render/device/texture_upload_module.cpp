#include "render/device/texture_upload_module.h"

#include <chrono>
#include <cstring>
#include <iostream>
#include <thread>

#include "kernel/engine_threads.h"
#include "kernel/file_system.h"
#include "kernel/platform.h"
#include "kernel/queue_registry.h"
#include "kernel/thread_map.h"
#include "platform/gfx/device/format.h"
#include "render/device/render_device.h"
#include "render/textures/texture_from_memory.h"
#include "render/textures/texture_lock.h"
#include "render/textures/texture_pool.h"
#include "render/textures/texture_resource.h"

namespace {

double SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Waits for the IO thread's read to let go of the buffer, then holds it.
// False when it did not within the bound (a read that never ends).
bool TakeBuffer(FileBuffer& file)
{
    const double deadline = SteadySeconds() + kUploadBusyWaitSeconds;
    while (!file.TryTakeBusy()) {
        if (SteadySeconds() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// Copies the read texels into the system-memory texture, each level by its own
// width and height. False when the read did not deliver them all or the
// texture does not take them.
bool CopyReadLevels(const FileBuffer& file, uint32_t expected, gfx::BaseTexture* source)
{
    if (!file.data || file.size != expected || !source || source->GetType() != gfx::kResourceTexture)
        return false;
    gfx::Texture* texture = static_cast<gfx::Texture*>(source);
    const uint32_t format = texture->Format();
    uint64_t offset = 0;
    for (uint32_t level = 0; level < texture->GetLevelCount() && offset < expected; ++level) {
        const uint32_t w = gfx::MipExtent(texture->Width(), level), h = gfx::MipExtent(texture->Height(), level);
        const uint32_t rowBytes = gfx::RowPitch(format, w);
        const uint32_t rows = gfx::IsBlockCompressed(format) ? (h + 3) / 4 : h;
        if (offset + uint64_t{rowBytes} * rows > expected)
            return false;
        gfx::LockedRect locked;
        // The parts mark what each uploads; the copy itself marks nothing.
        if (!LockTexture(locked, texture, static_cast<uint16_t>(level), 0, 0, 0, 0, gfx::kLockNoDirtyUpdate))
            return false;
        for (uint32_t row = 0; row < rows; ++row)
            std::memcpy(static_cast<uint8_t*>(locked.bits) + size_t(row) * static_cast<uint32_t>(locked.pitch),
                        file.data + offset + size_t(row) * rowBytes, rowBytes);
        UnlockTexture(texture, static_cast<uint16_t>(level));
        offset += uint64_t{rowBytes} * rows;
    }
    return offset == expected;
}

void PostRepairTask()
{
    EngineThread* render = GetThreadMap().Find(kRenderThreadId);
    if (!render)
        return;
    TaskMessage repair;
    repair.taskId = kFTTFixMeId;
    GetQueueRegistry()->AllocQueue(0)->PushTask(repair, render, "fx");
}

} // namespace

double UploadClockSeconds()
{
    Platform* platform = GetPlatform();
    return platform ? platform->GetSeconds() : SteadySeconds();
}

TextureUploadModule::TextureUploadModule(RenderDevice& owner) : owner_(owner)
{
    GetRenderThread()->AddModule(this);
}

void TextureUploadModule::RegisterHandlers()
{
    RegisterHandler("UploadTexToVRAM", &TextureUploadModule::UploadTexToVRAM);
    RegisterHandler("UploadTexPartToVRAM", &TextureUploadModule::UploadTexPartToVRAM);
}

void TextureUploadModule::UploadTexToVRAM(TaskMessage* task)
{
    FileBuffer* file = task->Get<UploadTexArgs::File>();
    TextureBlock* block = task->Get<UploadTexArgs::Block>();
    gfx::BaseTexture** texture = task->Get<UploadTexArgs::Texture>();
    gfx::Surface** surface = task->Get<UploadTexArgs::Surface>();
    if (!file || !block || !texture || !surface)
        return;
    if (file->name.length == 0) {
        std::cout << "FAULT\n";
        block->state = resource_state::kNone;
        GetFileSystem()->ReleaseFile(*file);
        return;
    }
    if (LoadTexture(owner_, *file, texture, 0, gfx::kPoolDefault)) {
        FinishTextureBlock(block->payload, *texture, surface);
        block->state = resource_state::kLoaded;
    } else {
        // Reported by LoadTexture; the texture stays not loaded.
        block->state = resource_state::kNone;
    }
    GetFileSystem()->ReleaseFile(*file);
}

void TextureUploadModule::UploadTexPartToVRAM(TaskMessage* task)
{
    FileBuffer* file = task->Get<UploadTexPartArgs::File>();
    TextureBlock* block = task->Get<UploadTexPartArgs::Block>();
    gfx::BaseTexture** destination = task->Get<UploadTexPartArgs::Destination>();
    gfx::BaseTexture** source = task->Get<UploadTexPartArgs::Source>();
    if (!file || !block || !destination || !source)
        return;

    if (!TakeBuffer(*file)) {
        task->cancelled.store(1, std::memory_order_release);
        if (block->state == resource_state::kLoading)
            block->state = resource_state::kNone;
        std::cout << "Texture " << block->payload.fileName.c_str() << " never finished reading; load cancelled.\n";
        return;
    }
    if (block->state != resource_state::kLoading) {
        file->ReleaseBusy();
        return;
    }

    // The first part to run moves the read texels into the system-memory
    // texture; a read that did not deliver them cancels the load.
    if (block->payload.pendingReadBytes != 0) {
        if (!CopyReadLevels(*file, block->payload.pendingReadBytes, *source)) {
            task->cancelled.store(1, std::memory_order_release);
            block->state = resource_state::kNone;
            file->ReleaseBusy();
            GetFileSystem()->ReleaseFile(*file);
            std::cout << "RECOVERING FROM BUG\n";
            PostRepairTask();
            return;
        }
        block->payload.pendingReadBytes = 0;
        GetFileSystem()->ReleaseFile(*file);
    }

    bool check = false;
    const double now = UploadClockSeconds();
    if (nextUploadCheck == 0.0) {
        nextUploadCheck = now + kUploadCheckWindow;
        check = true;
    } else {
        check = now < nextUploadCheck;
    }
    if (check && (*source)->GetType() == gfx::kResourceTexture) {
        gfx::Texture* texture = static_cast<gfx::Texture*>(*source);
        gfx::LockedRect locked;
        if (gfx::Succeeded(texture->LockRect(0, &locked, nullptr, gfx::kLockReadOnly))) {
            uint32_t first = 0;
            std::memcpy(&first, locked.bits, sizeof(first));
            std::cout << "!DBG!REMOVE ME! " << first << "\n";
            texture->UnlockRect(0);
        }
    }

    const gfx::Rect rect = PartRect(*task);
    if ((*source)->GetType() == gfx::kResourceTexture)
        static_cast<gfx::Texture*>(*source)->AddDirtyRect(&rect);
    UpdateTextureChecked(*source, *destination);
    if (task->Get<UploadTexPartArgs::Part>() == kLastPart && !task->cancelled.load(std::memory_order_acquire))
        block->state = resource_state::kLoaded;
    file->ReleaseBusy();
}
