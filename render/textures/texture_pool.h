#pragma once
// Pooled texture loading: a TexturePool is a fixed set of same-sized entries,
// each a video-memory texture (drawn) with a system-memory twin (filled). A
// texture handle given a pool loads into its lowest free entry: IOTHREAD reads
// the file's texel data (every level, behind the 128-byte DDS header) into the
// handle's file buffer, and RENDERTHREAD copies it into the entry's
// system-memory texture level by level, then into video memory in square parts
// of about 2048 texels a side, one part per render cycle
// ("UploadTexPartToVRAM"); the last part makes the texture loaded.
#include <cstdint>
#include <memory>

#include "kernel/file_buffer.h"
#include "kernel/task_message.h"
#include "platform/gfx/device/draw_types.h"
#include "render/textures/texture_resource.h"

inline constexpr uint32_t kUploadTexPartToVRAMId = RSHashConst("UploadTexPartToVRAM");

// Bytes of a DDS file before its texels.
inline constexpr uint32_t kDdsHeaderBytes = 128;

struct TexturePool {
    TexturePool() = default;
    ~TexturePool(); // DestroyTexturePool
    TexturePool(const TexturePool&) = delete;
    TexturePool& operator=(const TexturePool&) = delete;

    std::unique_ptr<TextureResource[]> videoEntries;  // the textures drawn
    std::unique_ptr<TextureResource[]> systemEntries; // their system-memory twins
    uint16_t count = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t format = 0;
};

// Makes `count` entries of width x height texels with `levels` levels: their
// textures, their blocks marked as the pool's and free. False (the pool left
// empty) when a texture could not be made.
bool BuildTexturePool(TexturePool& pool, uint16_t count, uint32_t width, uint32_t height, uint32_t format,
                      uint16_t levels);
// Releases every entry's textures and blocks; textures still using an entry
// must have been released first.
void DestroyTexturePool(TexturePool& pool);
// Marks every entry free.
void ResetTexturePool(TexturePool& pool);
// The lowest free entry (state 0 and no texture holding it), or -1.
int32_t FindFreePoolEntry(TexturePool& pool);

// Side of the square parts of a pool `width` texels wide.
uint32_t PooledPartSide(uint32_t width);
// Parts of a width x height texture in parts of `side`; not whole when the
// parts do not tile it.
float PooledPartCount(uint32_t width, uint32_t height, uint32_t side);
// Bytes of `levels` levels of a width x height texture of `format`, each
// level sized by its own width and height (4 bytes a texel for a format
// without a size).
uint32_t PooledReadSize(uint32_t format, uint32_t width, uint32_t height, uint32_t levels);

// "UploadTexPartToVRAM".
struct UploadTexPartArgs {
    using File = PayloadField<FileBuffer*, 0>;
    using Block = PayloadField<TextureBlock*, 8>;         // the loading texture's block (state word first)
    using Destination = PayloadField<gfx::BaseTexture**, 16>; // the entry's video-memory texture
    using Source = PayloadField<gfx::BaseTexture**, 24>;      // the entry's system-memory texture
    using Rect = PayloadArray<int32_t, 32, 4>;            // left, top, right, bottom (exclusive)
    using Part = PayloadField<uint8_t, 48>;               // 0 first, 1 following, 2 last
};

inline constexpr uint8_t kFirstPart = 0;
inline constexpr uint8_t kMiddlePart = 1;
inline constexpr uint8_t kLastPart = 2;

TaskMessage UploadTexPartTask(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom, uint8_t flag,
                              FileBuffer* file, gfx::BaseTexture** destination, gfx::BaseTexture** source,
                              TextureBlock* block);

gfx::Rect PartRect(const TaskMessage& task);
