#include "render/textures/texture_resource.h"

#include <cmath>
#include <iostream>

#include "kernel/archive.h"
#include "kernel/engine_threads.h"
#include "kernel/error_stream.h"
#include "kernel/file_system.h"
#include "kernel/memory_archive.h"
#include "kernel/queue_registry.h"
#include "kernel/thread_map.h"
#include "platform/gfx/device/device.h"
#include "render/textures/texture_from_memory.h"

namespace {

// The type's one default handle, kept for the whole run; nothing loads it.
[[maybe_unused]] TextureResource* const textureType = RegisterGlobalObject(new TextureResource);

void ReleaseSurface(gfx::Surface*& surface)
{
    if (surface)
        GetRenderer()->Resources().ReleaseSurface(surface);
    surface = nullptr;
}

} // namespace

TextureResource::~TextureResource()
{
    if (!keepBlock && GetBlock())
        TextureResource::ReleaseResource();
}

void TextureResource::InitRenderTexture(uint32_t width, uint32_t height, uint32_t format, uint32_t depthFormat,
                                        uint32_t usage, uint32_t pool, uint32_t levels)
{
    CreateUnique();
    TextureBlock* block = GetBlock();
    if (!block)
        return;
    RenderDevice* renderer = GetRenderer();
    TextureData& data = block->payload;
    data.pool = pool;
    data.levels = static_cast<uint16_t>(levels);
    const uint16_t w = static_cast<uint16_t>(width), h = static_cast<uint16_t>(height);

    bool made = false;
    if (usage == kRenderTextureOffscreen) {
        made = renderer->Resources().CreateOffscreenSurface(&data.target.colour, w, h, format, pool);
        data.texture = nullptr;
    } else if (usage == kRenderTextureTarget) {
        made = renderer->Resources().CreateRenderTarget(&data.target.colour, w, h, format, 0);
        data.texture = nullptr;
    } else {
        gfx::Texture* texture = nullptr;
        if (renderer->Resources().CreateRenderTexture(&texture, w, h, format, usage, pool, data.levels)) {
            data.texture = texture;
            made = renderer->Resources().GetSurfaceLevelChecked(0, texture, &data.target.colour);
        }
    }
    if (depthFormat != 0) {
        if (usage == gfx::kUsageDepthStencil)
            data.target.depthStencil = data.target.colour;
        else
            renderer->Resources().CreateDepthStencilSurface(&data.target.depthStencil, w, h, depthFormat, 0);
    }
    data.target.viewport.width = width & 0xFFFF;
    data.target.viewport.height = height & 0xFFFF;

    // A texture that could not be made is not there: it is not bound and not loaded.
    if (!made) {
        block->state = resource_state::kNone;
        return;
    }
    block->state = resource_state::kLoaded;
    renderer->Targets().BindTarget(0, &data.target);
    std::cout << "RenderTexture created.\n";
}

void TextureResource::RegenerateTextureMips()
{
    TextureData* data = GetPayload();
    if (!data || !data->texture)
        return;
    if (data->texture->GetType() == gfx::kResourceTexture)
        static_cast<gfx::Texture*>(data->texture)->AddDirtyRect(nullptr);
    else if (data->texture->GetType() == gfx::kResourceCubeTexture)
        for (uint32_t face = 0; face < gfx::kCubeFaces; ++face)
            static_cast<gfx::CubeTexture*>(data->texture)->AddDirtyRect(face, nullptr);
    data->texture->GenerateMipSubLevels();
}

bool TextureResource::FreeRenderTexture()
{
    TextureBlock* block = GetBlock();
    if (!block)
        return true;
    // A pooled handle leaves its block where it is, marked free: a pool
    // entry's block belongs to the pool.
    if (texturePool) {
        block->state = resource_state::kNone;
        return false;
    }
    TextureData& data = block->payload;
    RenderDevice* renderer = GetRenderer();
    renderer->Targets().ForgetTarget(&data.target);
    // A depth-stencil surface of its own goes too; one that is the colour
    // surface goes with it.
    if (data.target.depthStencil == data.target.colour)
        data.target.depthStencil = nullptr;
    ReleaseSurface(data.target.depthStencil);
    if (!data.target.colour)
        std::cout << "RenderTexture without surface released.\n";
    // Cube and volume textures have no colour surface, yet their texture goes.
    ReleaseSurface(data.target.colour);
    if (data.texture)
        renderer->Resources().ReleaseTexture(data.texture);
    data.texture = nullptr;
    return true;
}

void TextureResource::ReleaseResource()
{
    TextureBlock* block = GetBlock();
    // The last texture using a pool entry gives it back (the pool's own
    // handle is the other holder); a load still under way is cancelled.
    if (block && texturePool && block->payload.poolOwner && block->holders == 2) {
        CancelTasks();
        block->state = resource_state::kNone;
    }
    ResourceObject::ReleaseResource();
}

void TextureResource::Serialize(Archive& archive)
{
    HashedName128 fileName;
    if (const TextureData* data = GetPayload())
        fileName = data->fileName;
    archive.Name(fileName);
    archive.U32(pool);
    archive.U32(loadFlags);
    if (!archive.IsReading())
        return;
    auto* memory = dynamic_cast<MemoryArchive*>(&archive);
    if (memory && memory->Damaged())
        return;
    if (fileName.length == 0) {
        // Nothing will load into the block the read gave the handle.
        SetState(resource_state::kNone);
        return;
    }
    LoadByName(std::string(fileName.View()));
}

const gfx::BaseTexture* DeviceTextureOf(TextureResource* handle)
{
    const TextureData* data = handle ? handle->GetPayload() : nullptr;
    return data ? data->texture : nullptr;
}

void TextureResource::LoadPooledTexture(const std::string& name)
{
    TextureBlock* block = GetBlock();
    if (!block)
        return;
    block->payload.fileName.Assign(name);
    block->payload.pool = pool;
    const ThreadMap& threads = GetThreadMap();
    if (!threads.Find(kIOThreadId) || !threads.Find(kRenderThreadId) || async == 0)
        LoadNow(name);
    else if (!texturePool)
        LoadThroughTasks(name);
    else
        LoadThroughPool(name);
}

void TextureResource::LoadNow(const std::string& name)
{
    TextureBlock* block = GetBlock();
    TextureData& data = block->payload;
    RenderDevice* renderer = GetRenderer();
    FileSystem* files = GetFileSystem();
    FileBuffer file;
    gfx::BaseTexture* texture = nullptr;
    if (!files->LoadFile(file, name, 0, 0) || !LoadTexture(*renderer, file, &texture, loadFlags, pool)) {
        // Users of the texture must accept it empty; it is not loaded.
        block->state = resource_state::kNone;
        files->ReleaseFile(file);
        return;
    }
    FinishTextureBlock(data, texture, &data.target.colour);
    block->state = resource_state::kLoaded;
    files->ReleaseFile(file);
}

void FinishTextureBlock(TextureData& data, gfx::BaseTexture* texture, gfx::Surface** colour)
{
    data.texture = texture;
    if (!texture)
        return;
    switch (texture->GetType()) {
    case gfx::kResourceCubeTexture: data.kind = static_cast<uint8_t>(TextureKind::Cube); break;
    case gfx::kResourceVolumeTexture: data.kind = static_cast<uint8_t>(TextureKind::Volume); break;
    default: data.kind = static_cast<uint8_t>(TextureKind::Texture2D); break;
    }
    if (data.kind == static_cast<uint8_t>(TextureKind::Texture2D)) {
        RenderDevice* renderer = GetRenderer();
        gfx::Texture* texture2d = static_cast<gfx::Texture*>(texture);
        if (colour)
            renderer->Resources().GetSurfaceLevelChecked(0, texture2d, colour);
        gfx::SurfaceDesc desc;
        if (gfx::Succeeded(texture2d->GetLevelDesc(0, &desc))) {
            data.target.viewport.width = desc.width;
            data.target.viewport.height = desc.height;
            data.bytesPerTexel = static_cast<uint32_t>(renderer->Resources().BytesPerTexel(desc.format));
        }
    }
    data.levels = static_cast<uint16_t>(texture->GetLevelCount());
}

void TextureResource::LoadThroughTasks(const std::string& name)
{
    TextureBlock* block = GetBlock();
    const ThreadMap& threads = GetThreadMap();
    TaskBatch* batch = GetQueueRegistry()->AllocQueue(0);
    // A read that fails for good drops the state to 0 and cancels the upload.
    batch->PushTask(LoadFromHDDTask(&fileBuffer, name, 0, 0, nullptr, &block->state), threads.Find(kIOThreadId),
                    name);
    batch->PushTask(UploadTexTask(&fileBuffer, &block->payload.texture, &block->payload.target.colour, block),
                    threads.Find(kRenderThreadId), "vr");
    SetPendingBatch(batch);
}

TaskMessage UploadTexTask(FileBuffer* file, gfx::BaseTexture** texture, gfx::Surface** surface, TextureBlock* block)
{
    TaskMessage task;
    task.taskId = kUploadTexToVRAMId;
    task.Set<UploadTexArgs::File>(file);
    task.Set<UploadTexArgs::Block>(block);
    task.Set<UploadTexArgs::Texture>(texture);
    task.Set<UploadTexArgs::Surface>(surface);
    return task;
}
