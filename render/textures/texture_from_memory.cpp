#include "render/textures/texture_from_memory.h"

#include "kernel/error_stream.h"
#include "kernel/file_buffer.h"
#include "render/device/render_device.h"

TextureKind TextureKindOf(uint32_t flags)
{
    if (flags & texture_flags::kCube)
        return TextureKind::Cube;
    if (flags & texture_flags::kVolume)
        return TextureKind::Volume;
    return TextureKind::Texture2D;
}

TextureFileCall TextureFileCallFor(uint32_t flags, uint32_t pool)
{
    TextureFileCall call;
    call.kind = TextureKindOf(flags);
    gfx::TextureFileParams& p = call.params;
    p.pool = pool;
    if (call.kind != TextureKind::Texture2D) {
        // Size, format and levels from the file, a full chain, default filtering.
        p.width = p.height = p.depth = gfx::kImageDefault;
        p.levels = 0;
        p.usage = 0;
        p.format = gfx::kFormatUnknown;
        p.filter = p.mipFilter = gfx::kImageFilterDefault;
        return call;
    }
    constexpr uint32_t kNotUsage = texture_flags::kResourceOnly | texture_flags::kCube | texture_flags::kVolume |
                                   texture_flags::kKeepSize | texture_flags::kNoFilter;
    if (pool == gfx::kPoolSystemMem) {
        p.width = p.height = gfx::kImageDefaultNonPow2;
        p.levels = (flags & texture_flags::kFullMipChain) ? 0 : 1;
        p.usage = flags & ~(kNotUsage | texture_flags::kFullMipChain);
        p.format = gfx::kFormatFromFile;
        p.filter = p.mipFilter = gfx::kImageFilterNone;
    } else {
        p.width = p.height = (flags & texture_flags::kKeepSize) ? gfx::kImageDefaultNonPow2 : 0;
        p.levels = 0;
        p.usage = flags & ~kNotUsage;
        p.format = gfx::kFormatUnknown;
        p.filter = p.mipFilter = (flags & texture_flags::kNoFilter) ? gfx::kImageFilterNone : gfx::kImageFilterDefault;
    }
    return call;
}

gfx::Result CreateTextureFromFile(gfx::Device* device, const void* data, size_t size, uint32_t flags, uint32_t pool,
                                  gfx::BaseTexture** out)
{
    if (!out)
        return gfx::kInvalidCall;
    *out = nullptr;
    const TextureFileCall call = TextureFileCallFor(flags, pool);
    switch (call.kind) {
    case TextureKind::Cube: {
        gfx::CubeTexture* cube = nullptr;
        const gfx::Result result = gfx::CreateCubeTextureFromFileInMemory(device, data, size, call.params, &cube);
        *out = cube;
        return result;
    }
    case TextureKind::Volume: {
        gfx::VolumeTexture* volume = nullptr;
        const gfx::Result result = gfx::CreateVolumeTextureFromFileInMemory(device, data, size, call.params, &volume);
        *out = volume;
        return result;
    }
    case TextureKind::Texture2D:
        break;
    }
    gfx::Texture* texture = nullptr;
    const gfx::Result result = gfx::CreateTextureFromFileInMemory(device, data, size, call.params, &texture);
    *out = texture;
    return result;
}

const char* TextureLoadFailureReason(gfx::Result result)
{
    switch (result) {
    case gfx::kNotAvailable: return " - the technique is not available.\n";
    case gfx::kOutOfVideoMemory: return " - out of VRAM.\n";
    case gfx::kInvalidCall: return " - the method call is invalid.\n";
    case gfx::kInvalidData: return " - wrong format or no file found.\n";
    case gfx::kOutOfMemory: return " - out of RAM.\n";
    default: return nullptr;
    }
}

void ReportTextureLoadFailure(std::string_view fileName, gfx::Result result)
{
    const char* reason = TextureLoadFailureReason(result);
    if (!reason)
        return;
    errorTwoLines = false;
    GetErrorStream() << "Can't load texture " << fileName << reason;
}

bool LoadTexture(RenderDevice& renderer, const FileBuffer& file, gfx::BaseTexture** out, uint32_t flags,
                 uint32_t pool)
{
    const bool made = renderer.Memory().AccountVideoMemory(VideoMemoryKind::Texture, [&] {
        // An empty buffer (nothing read) is no image: the file was not found.
        return gfx::Succeeded(renderer.KeepResult(
            file.data && file.size != 0 ? CreateTextureFromFile(renderer.Device(), file.data, file.size, flags, pool, out)
                                        : gfx::kInvalidData));
    });
    if (made)
        return true;
    if (out)
        *out = nullptr;
    ReportTextureLoadFailure(file.name.View(), renderer.LastResult());
    return false;
}
