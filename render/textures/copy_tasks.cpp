#include "render/textures/copy_tasks.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iostream>

#include "kernel/engine_threads.h"
#include "kernel/file_system.h"
#include "platform/gfx/device/texture.h"
#include "render/textures/texture_lock.h"
#include "render/textures/texture_resource.h"

namespace {

CopyTaskHandler* copyTaskHandler = nullptr;

// Made before any thread is added, so both tasks are served from the first cycle.
[[maybe_unused]] CopyTaskHandler* const staticCopyTaskHandler = CreateCopyTaskHandler(GetRenderThread());

// The status word is read by the poster on its own thread.
void SetStatus(uint32_t* status, uint32_t value)
{
    if (status)
        std::atomic_ref<uint32_t>(*status).store(value, std::memory_order_release);
}

uint32_t Status(uint32_t* status)
{
    return status ? std::atomic_ref<uint32_t>(*status).load(std::memory_order_acquire) : kCopyDropped;
}

constexpr uint32_t kBlockBytes = 8;
constexpr uint32_t kFileHeaderBytes = 128;

} // namespace

std::map<uintptr_t, uint32_t>& CopyCancelMap()
{
    static std::map<uintptr_t, uint32_t> map;
    return map;
}

CopyTaskHandler::~CopyTaskHandler()
{
    if (copyTaskHandler == this)
        copyTaskHandler = nullptr;
}

void CopyTaskHandler::RegisterHandlers()
{
    RegisterHandler("PureCopyUnload", &CopyTaskHandler::PureCopyUnload);
    RegisterHandler("PureCopyTo", &CopyTaskHandler::PureCopyTo);
}

void CopyTaskHandler::PureCopyTo(CopyTaskHandler*, TaskMessage* task)
{
    TextureResource* target = task->Get<PureCopyToArgs::Target>();
    uint32_t* status = task->Get<PureCopyToArgs::Status>();
    FileBuffer* source = task->Get<PureCopyToArgs::Source>();
    const uint16_t x = task->Get<PureCopyToArgs::X>(), y = task->Get<PureCopyToArgs::Y>();
    const uint16_t width = task->Get<PureCopyToArgs::Width>(), height = task->Get<PureCopyToArgs::Height>();
    if (!source) {
        SetStatus(status, kCopyDropped);
        return;
    }
    FileSystem* files = GetFileSystem();
    uint32_t& cancelled = CopyCancelMap()[reinterpret_cast<uintptr_t>(source)];
    if (cancelled != 0) {
        cancelled = 0;
        if (source->name.length != 0)
            files->ReleaseFile(*source);
        SetStatus(status, kCopyDropped);
        return;
    }
    if (source->name.length == 0) {
        SetStatus(status, kCopyDropped);
        return;
    }

    const uint32_t blockColumns = width / 4u, blockRows = height / 4u;
    const uint32_t rowBytes = blockColumns * kBlockBytes;
    const uint64_t needed = kFileHeaderBytes + uint64_t{blockRows} * rowBytes;
    TextureBlock* block = target ? target->GetBlock() : nullptr;
    gfx::BaseTexture* texture = block ? block->payload.texture : nullptr;
    // Refused: a source too small for the rectangle, or a rectangle outside the texture.
    const bool fits = texture && texture->GetType() == gfx::kResourceTexture &&
                      uint32_t{x} + width <= texture->Width() && uint32_t{y} + height <= texture->Height();
    if (!source->data || source->size < needed || !fits) {
        std::cout << "PureCopyTo: " << source->name.c_str() << " does not fit the rectangle; copy dropped.\n";
        files->ReleaseFile(*source);
        SetStatus(status, kCopyDropped);
        return;
    }
    gfx::Texture* destination = static_cast<gfx::Texture*>(texture);
    // Compressed textures lock whole blocks: the rectangle grows to the block
    // edges around it (within the texture).
    const uint32_t left = x & ~3u, top = y & ~3u;
    const uint32_t right = std::min((uint32_t{x} + width + 3) & ~3u, destination->Width());
    const uint32_t bottom = std::min((uint32_t{y} + height + 3) & ~3u, destination->Height());
    // An empty rectangle asks for nothing: done without a lock.
    if (right <= left || bottom <= top) {
        files->ReleaseFile(*source);
        SetStatus(status, kCopyDone);
        return;
    }
    // A failed lock is reported by LockTexture; there is nothing to write into.
    if (!LockTexture(target->locked, destination, 0, static_cast<uint16_t>(left), static_cast<uint16_t>(top),
                     static_cast<uint16_t>(right - left), static_cast<uint16_t>(bottom - top), 0)) {
        files->ReleaseFile(*source);
        SetStatus(status, kCopyDropped);
        return;
    }
    const uint32_t viewportWidth = block->payload.target.viewport.width;
    const uint32_t textureWidth = viewportWidth != 0 ? viewportWidth : destination->Width();
    const uint32_t pitch = static_cast<uint32_t>(target->locked.pitch);
    if (textureWidth != 0)
        target->bytesPerTexel = pitch / textureWidth;
    block->payload.lockedLevel = 0;

    // Block rows lie a row length's blocks apart. One wider than the locked
    // pitch would write past the lock: nothing is copied then.
    const uint32_t stride = task->Get<PureCopyToArgs::RowLength>() / 4u * kBlockBytes;
    const bool inside = stride <= pitch && rowBytes <= pitch;
    if (height >= 4 && inside) {
        uint8_t* bits = static_cast<uint8_t*>(target->locked.bits);
        for (uint32_t r = 0; r < blockRows; ++r)
            std::memcpy(bits + size_t(r) * stride, source->data + kFileHeaderBytes + size_t(r) * rowBytes, rowBytes);
    }
    UnlockTexture(destination, block->payload.lockedLevel);
    files->ReleaseFile(*source);
    if (height >= 4 && !inside)
        std::cout << "PureCopyTo: row length " << task->Get<PureCopyToArgs::RowLength>()
                  << " is wider than the texture; copy dropped.\n";
    SetStatus(status, height < 4 || inside ? kCopyDone : kCopyDropped);
}

void CopyTaskHandler::PureCopyUnload(CopyTaskHandler*, TaskMessage* task)
{
    uint32_t* status = task->Get<PureCopyUnloadArgs::Status>();
    if (Status(status) == kCopyPending)
        CopyCancelMap()[task->Get<PureCopyUnloadArgs::Key>()] = 1;
    else
        SetStatus(status, kCopyDropped);
}

CopyTaskHandler* CreateCopyTaskHandler(EngineThread* thread)
{
    CopyTaskHandler* module = new CopyTaskHandler;
    copyTaskHandler = module;
    thread->AddModule(module);
    module->owned = true;
    return module;
}

CopyTaskHandler* GetCopyTaskHandler()
{
    return copyTaskHandler;
}
