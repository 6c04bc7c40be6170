#pragma once
// Textures made from image files in memory, with the creation parameters a
// texture's load flags and pool choose, and the failure reasons as the user
// reads them. The render device's LoadTexture (below) adds the video-memory
// accounting and its result word on top.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/gfx/device/device.h"
#include "platform/gfx/device/texture.h"
#include "platform/gfx/image/texture_loader.h"

// Load flags of a texture (TextureResource's flags word).
namespace texture_flags {
inline constexpr uint32_t kCube = 0x08;
inline constexpr uint32_t kVolume = 0x10;        // when kCube is clear
inline constexpr uint32_t kKeepSize = 0x20;      // 2D: the file's size, not rounded to powers of two
inline constexpr uint32_t kNoFilter = 0x40;      // 2D: no filtering when sizing or making levels
inline constexpr uint32_t kResourceOnly = 0x84;  // the resource's own, never given to the device
inline constexpr uint32_t kFullMipChain = 0x400; // 2D in system memory: all levels; elsewhere automatic levels
} // namespace texture_flags

enum class TextureKind : uint8_t { Texture2D = 0, Cube = 1, Volume = 2 };

TextureKind TextureKindOf(uint32_t flags);

// The creation call a load with these flags and this pool makes.
struct TextureFileCall {
    TextureKind kind = TextureKind::Texture2D;
    gfx::TextureFileParams params;
};
TextureFileCall TextureFileCallFor(uint32_t flags, uint32_t pool);

// Makes the texture of the kind the flags choose; `out` receives a
// gfx::Texture, CubeTexture or VolumeTexture (null on failure).
gfx::Result CreateTextureFromFile(gfx::Device* device, const void* data, size_t size, uint32_t flags, uint32_t pool,
                                  gfx::BaseTexture** out);

// The reason told after "Can't load texture <name>", or null for a result
// that has none (and then nothing is reported).
const char* TextureLoadFailureReason(gfx::Result result);
// Clears the two-line flag and writes the message to the error stream.
void ReportTextureLoadFailure(std::string_view fileName, gfx::Result result);

class RenderDevice;
struct FileBuffer;

// The render device's load of a texture from a file in memory: makes it
// (CreateTextureFromFile), keeps the result in lastResult, adds the video
// memory it took to textureMemory, and on failure reports the file's name and
// reason. The file is neither changed nor freed.
bool LoadTexture(RenderDevice& renderer, const FileBuffer& file, gfx::BaseTexture** out, uint32_t flags,
                 uint32_t pool);
