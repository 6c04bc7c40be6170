#include "render/textures/texture_pool.h"

#include <cmath>
#include <iostream>

#include "kernel/engine_threads.h"
#include "kernel/error_stream.h"
#include "kernel/file_system.h"
#include "kernel/queue_registry.h"
#include "kernel/thread_map.h"
#include "platform/gfx/device/format.h"
#include "render/textures/texture_lock.h"

namespace {

constexpr int32_t kMaxPoolEntries = 32767; // entry indices are signed 16-bit

bool MakeEntry(TextureResource& entry, TexturePool& pool, uint32_t gfxPool, uint16_t levels)
{
    entry.CreateUnique();
    TextureBlock* block = entry.GetBlock();
    if (!block)
        return false;
    TextureData& data = block->payload;
    gfx::Texture* texture = nullptr;
    if (!GetRenderer()->Resources().CreateRenderTexture(&texture, static_cast<uint16_t>(pool.width),
                                                        static_cast<uint16_t>(pool.height), pool.format, 0, gfxPool,
                                                        levels))
        return false;
    // Entries take their parts texture to texture: no colour surface.
    FinishTextureBlock(data, texture, nullptr);
    data.pool = gfxPool;
    data.poolOwner = &pool;
    block->state = resource_state::kNone;
    return true;
}

void ReportNonRectangular()
{
    errorTwoLines = false;
    GetErrorStream() << "loading non-rectangular pooled texture (FIXME).\n";
}

} // namespace

TexturePool::~TexturePool()
{
    DestroyTexturePool(*this);
}

bool BuildTexturePool(TexturePool& pool, uint16_t count, uint32_t width, uint32_t height, uint32_t format,
                      uint16_t levels)
{
    DestroyTexturePool(pool);
    pool.videoEntries = std::make_unique<TextureResource[]>(count);
    pool.systemEntries = std::make_unique<TextureResource[]>(count);
    pool.count = count;
    pool.width = width;
    pool.height = height;
    pool.format = format;
    for (uint16_t i = 0; i < count; ++i) {
        if (!MakeEntry(pool.videoEntries[i], pool, gfx::kPoolDefault, levels) ||
            !MakeEntry(pool.systemEntries[i], pool, gfx::kPoolSystemMem, levels)) {
            DestroyTexturePool(pool);
            return false;
        }
        // New textures count as changed everywhere; once in step, each part
        // uploads only its own square.
        UpdateTextureChecked(pool.systemEntries[i].GetPayload()->texture, pool.videoEntries[i].GetPayload()->texture);
    }
    return true;
}

void DestroyTexturePool(TexturePool& pool)
{
    for (uint16_t i = 0; i < pool.count; ++i) {
        for (TextureResource* entry : {&pool.videoEntries[i], &pool.systemEntries[i]}) {
            if (TextureBlock* block = entry->GetBlock())
                block->payload.poolOwner = nullptr; // now the type's block again
            entry->ReleaseResource();
        }
    }
    pool.videoEntries.reset();
    pool.systemEntries.reset();
    pool.count = 0;
}

void ResetTexturePool(TexturePool& pool)
{
    for (uint16_t i = 0; i < pool.count; ++i) {
        pool.videoEntries[i].SetState(resource_state::kNone);
        pool.systemEntries[i].SetState(resource_state::kNone);
    }
}

int32_t FindFreePoolEntry(TexturePool& pool)
{
    for (int32_t i = 0; i < pool.count; ++i) {
        TextureBlock* block = pool.videoEntries[i].GetBlock();
        // A texture whose load failed may still hold a free-marked entry.
        if (block && block->state == resource_state::kNone && block->holders == 1)
            return i;
    }
    return -1;
}

uint32_t PooledPartSide(uint32_t width)
{
    const float quotient = static_cast<float>(width) / 2048.0f;
    if (quotient < 1.0f)
        return width;
    const uint32_t whole = static_cast<uint32_t>(quotient);
    if (static_cast<float>(whole) == quotient)
        return 2048;
    return width / whole;
}

float PooledPartCount(uint32_t width, uint32_t height, uint32_t side)
{
    if (side == 0)
        return 0.0f;
    return static_cast<float>(static_cast<double>(height) * width / (static_cast<double>(side) * side));
}

uint32_t PooledReadSize(uint32_t format, uint32_t width, uint32_t height, uint32_t levels)
{
    uint64_t total = 0;
    for (uint32_t level = 0; level < levels; ++level) {
        const uint32_t w = gfx::MipExtent(width, level), h = gfx::MipExtent(height, level);
        const uint64_t bytes = gfx::LevelSize(format, w, h);
        total += bytes != 0 ? bytes : uint64_t{w} * h * 4;
    }
    return total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
}

TaskMessage UploadTexPartTask(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom, uint8_t flag,
                              FileBuffer* file, gfx::BaseTexture** destination, gfx::BaseTexture** source,
                              TextureBlock* block)
{
    TaskMessage task;
    task.taskId = kUploadTexPartToVRAMId;
    task.Set<UploadTexPartArgs::File>(file);
    task.Set<UploadTexPartArgs::Block>(block);
    task.Set<UploadTexPartArgs::Destination>(destination);
    task.Set<UploadTexPartArgs::Source>(source);
    task.SetAt<UploadTexPartArgs::Rect>(0, static_cast<int32_t>(left));
    task.SetAt<UploadTexPartArgs::Rect>(1, static_cast<int32_t>(top));
    task.SetAt<UploadTexPartArgs::Rect>(2, static_cast<int32_t>(right));
    task.SetAt<UploadTexPartArgs::Rect>(3, static_cast<int32_t>(bottom));
    task.Set<UploadTexPartArgs::Part>(flag);
    return task;
}

gfx::Rect PartRect(const TaskMessage& task)
{
    gfx::Rect rect;
    task.GetAt<UploadTexPartArgs::Rect>(0, rect.left);
    task.GetAt<UploadTexPartArgs::Rect>(1, rect.top);
    task.GetAt<UploadTexPartArgs::Rect>(2, rect.right);
    task.GetAt<UploadTexPartArgs::Rect>(3, rect.bottom);
    return rect;
}

void TextureResource::LoadThroughPool(const std::string& name)
{
    TexturePool& entries = *texturePool;
    const int32_t index = FindFreePoolEntry(entries);
    // An entry past the signed 16-bit pool index cannot be used (silently).
    if (index < 0 || index > kMaxPoolEntries) {
        if (index < 0)
            std::cout << "Out of textures in texture pool...\n";
        SetState(resource_state::kLoaded);
        ReleaseResource();
        return;
    }

    const uint32_t width = entries.width, height = entries.height;
    const uint32_t side = PooledPartSide(width);
    const float count = PooledPartCount(width, height, side);
    const uint32_t parts = static_cast<uint32_t>(count);
    // Parts that do not tile the texture would never finish it: the load fails
    // before it takes the entry.
    if (parts == 0 || static_cast<float>(parts) != count || width % side != 0 || height % side != 0) {
        ReportNonRectangular();
        SetState(resource_state::kNone);
        return;
    }

    TextureResource& video = entries.videoEntries[index];
    TextureResource& system = entries.systemEntries[index];
    video.SetState(resource_state::kLoading);
    TaskBatch* batch = GetQueueRegistry()->AllocQueue(0);
    // Our own block is not needed: the texture lives in the entry's block.
    SetState(resource_state::kLoaded);
    ReleaseResource();
    poolIndex = static_cast<int16_t>(index);
    AttachById(video.GetId());
    SetName(name);
    SetState(resource_state::kLoading);
    TextureBlock* block = GetBlock();
    block->payload.fileName.Assign(name);

    TextureBlock* systemBlock = system.GetBlock();
    const uint32_t levels = std::min<uint32_t>(block->payload.levels, systemBlock->payload.levels);
    const uint32_t readSize = PooledReadSize(entries.format, width, height, levels);
    block->payload.pendingReadBytes = readSize;
    std::cout << "submit " << name << "\n";

    const ThreadMap& threads = GetThreadMap();
    // A read that fails for good marks the entry not loaded and cancels the parts.
    batch->PushTask(LoadFromHDDTask(&fileBuffer, name, kDdsHeaderBytes, readSize, nullptr, &block->state),
                    threads.Find(kIOThreadId), "sb");
    EngineThread* render = threads.Find(kRenderThreadId);
    uint32_t x = 0, y = 0;
    for (uint32_t k = 0; k < parts; ++k) {
        const uint8_t flag = k + 1 == parts ? kLastPart : (k == 0 ? kFirstPart : kMiddlePart);
        batch->PushTask(UploadTexPartTask(x, y, x + side, y + side, flag, &fileBuffer, &block->payload.texture,
                                          &systemBlock->payload.texture, block),
                        render, "up");
        x += side;
        if (x >= width) {
            x = 0;
            y += side;
        }
    }
    SetPendingBatch(batch);
}
