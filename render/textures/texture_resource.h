#pragma once
// TextureResource: the handle of a named, reference-counted texture. Its data
// block holds a 2D, cube or volume texture (or a bare surface) with the
// render-target record the renderer binds to draw into it. A handle becomes a
// render texture (InitRenderTexture) or loads from a file by name, by one of
// three roads: at once on the calling thread (before the engine threads run,
// or when the handle is not async), through the tasks "LoadFromHDD" then
// "UploadTexToVRAM", or through a TexturePool in square parts
// (render/textures/texture_pool.h). Render thread only.
#include <cstdint>
#include <string>

#include "kernel/hashed_name.h"
#include "kernel/resource_types.h"
#include "kernel/task_message.h"
#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/texture.h"
#include "render/device/render_device.h"

struct TexturePool;

// The payload of a texture's data block (its state word is the block's own).
struct TextureData {
    gfx::BaseTexture* texture = nullptr; // owned; null for bare surfaces
    uint8_t kind = 0;                    // 0 2D, 1 cube, 2 volume
    RenderTargetRecord target;           // viewport 0 x 0 (MaxZ 1), no surfaces
    uint32_t bytesPerTexel = 4;
    HashedName128 fileName;
    uint32_t pool = 0;
    uint16_t levels = 1;
    uint16_t lockedLevel = 0;
    // The pool whose entry this block is, so that the last texture using the
    // entry gives it back when it lets go.
    TexturePool* poolOwner = nullptr;
    // Pooled road: the bytes the file read must deliver before the parts can
    // upload; 0 once they are in the entry's system-memory texture.
    uint32_t pendingReadBytes = 0;
};

inline constexpr uint32_t kUploadTexToVRAMId = RSHashConst("UploadTexToVRAM");

// Usage selectors of InitRenderTexture that are not device usage bits.
inline constexpr uint32_t kRenderTextureOffscreen = 4;
inline constexpr uint32_t kRenderTextureTarget = 128;

class TextureResource : public ResourceObject<TextureResource, TextureData, kTextureFormatVersion> {
public:
    TextureResource() = default;
    // A pooled texture gives its entry back (ReleaseResource) unless told to keep it.
    ~TextureResource() override;

    // Makes the handle a new render texture (or, by usage, an offscreen or a
    // render-target surface) and binds it as the current render target. A
    // creation that fails (reported by the device wrappers) leaves the block
    // not loaded and binds nothing.
    void InitRenderTexture(uint32_t width, uint32_t height, uint32_t format, uint32_t depthFormat, uint32_t usage,
                           uint32_t pool, uint32_t levels);
    void SetTextureFlags(uint32_t flags) { loadFlags = flags; }
    // Declares the whole texture changed and has its levels made again.
    void RegenerateTextureMips();

    // The file name, then the pool and load flags the file is loaded with.
    // Reading loads the file named (with those) unless the name is empty.
    void Serialize(Archive& archive) override;

    // The load of a file by name: LoadByName calls it with the block in state 1.
    void DoLoad(const std::string& name) override { LoadPooledTexture(name); }
    void LoadPooledTexture(const std::string& name);
    bool DoUnload() override { return FreeRenderTexture(); }
    // Releases the block's graphics objects and answers true, unless the
    // handle has a texture pool: then the block is only marked free (state 0)
    // and stays out of the type's block pool (false).
    bool FreeRenderTexture();
    // The last user of a pool entry frees the entry, cancelling its load.
    void ReleaseResource() override;

    gfx::LockedRect locked;       // filled when a caller locks the texture
    uint32_t pool = 0;            // the pool a file's texture is made in
    uint32_t loadFlags = 0;       // texture_flags of render/textures/texture_from_memory.h
    uint32_t bytesPerTexel = 0;   // of the last lock
    TexturePool* texturePool = nullptr;
    int16_t poolIndex = 0;
    uint8_t async = 1;            // 0: loads on the calling thread even when the threads run

private:
    void LoadNow(const std::string& name);
    void LoadThroughTasks(const std::string& name);
    void LoadThroughPool(const std::string& name); // render/textures/texture_pool.cpp
};

// Finishes a block whose texture has just been made; every road that gives a
// block a texture (loaded at once, by "UploadTexToVRAM", or made as a pool
// entry) ends here, so a block describes its texture the same way whichever
// road it came by: the texture, its kind and its level count and, for a 2D
// texture, the viewport of level 0's size, the bytes per texel of its format
// (the render device's table, truncated) and, when `colour` is given, its
// level-0 surface there (null after a failure, which is reported). The state
// word is the road's own.
void FinishTextureBlock(TextureData& data, gfx::BaseTexture* texture, gfx::Surface** colour);

using TextureBlock = ResourceData<TextureData>;

// The device texture behind a handle, as effects are given it: null when the
// handle holds no block or its block no texture.
const gfx::BaseTexture* DeviceTextureOf(TextureResource* handle);

// "UploadTexToVRAM": the file read by IOTHREAD becomes the block's texture.
// The block's state word is its first field.
struct UploadTexArgs {
    using File = PayloadField<FileBuffer*, 0>;
    using Block = PayloadField<TextureBlock*, 8>;
    using Texture = PayloadField<gfx::BaseTexture**, 16>;
    using Surface = PayloadField<gfx::Surface**, 24>;
};

TaskMessage UploadTexTask(FileBuffer* file, gfx::BaseTexture** texture, gfx::Surface** surface,
                          TextureBlock* block);
