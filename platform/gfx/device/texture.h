#pragma once
// Textures: 2D, cube and volume, each with its chain of mip levels. All levels
// (of all faces) lie one after another in one allocation that never moves, so
// memory locked for level 0 reaches every later level. Lockable textures
// (system memory, managed, dynamic) remember the region changed since their
// last update, which the device's UpdateTexture copies.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/resource.h"
#include "platform/gfx/device/resource_storage.h"
#include "platform/gfx/device/result.h"
#include "platform/gfx/device/surface.h"

namespace gfx {

struct VolumeDesc {
    uint32_t format = 0;
    uint32_t type = kResourceVolume;
    uint32_t usage = 0;
    uint32_t pool = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;
};

inline constexpr uint32_t kCubeFaces = 6;

// The shape of a texture and where each face x level lies in its storage.
struct TextureLayout {
    struct Subresource {
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t depth = 1;
        uint32_t rowPitch = 0;
        uint64_t slicePitch = 0;
        uint64_t offset = 0;
        uint64_t size = 0;
    };
    ResourceType type = kResourceTexture;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 1;
    uint32_t faces = 1;
    uint32_t levels = 0;         // levels stored
    uint32_t reportedLevels = 0; // levels callers see (1 for automatic mip generation)
    uint32_t format = 0;
    uint32_t usage = 0;
    uint32_t pool = 0;
    std::vector<Subresource> subresources; // face by face, each from level 0
    uint64_t totalBytes = 0;
};

// Levels of a full chain down to 1 x 1 (x 1).
uint32_t FullMipChain(uint32_t width, uint32_t height, uint32_t depth = 1);

// Fills the subresources and total of a layout whose type, sizes, format, usage,
// pool and asked-for levels (0 = full chain, in `levels`) are set. False when
// the levels or sizes make no texture.
bool PlanTextureLayout(TextureLayout& layout);

class BaseTexture : public Resource {
public:
    uint32_t GetLevelCount() const { return layout_.reportedLevels; }
    uint32_t Format() const { return layout_.format; }
    uint32_t Width() const { return layout_.width; }
    uint32_t Height() const { return layout_.height; }
    uint32_t Depth() const { return layout_.depth; }
    // Automatic mip generation is requested: a drawing device makes the levels
    // below the first from it; otherwise the call only reaches the record.
    Result GenerateMipSubLevels();

protected:
    BaseTexture(Device* device, TextureLayout layout, ResourceStorage storage, uint64_t videoBytes);
    ~BaseTexture() override;

    const TextureLayout::Subresource* Sub(uint32_t face, uint32_t level) const;
    Result LevelDesc(uint32_t level, SurfaceDesc* desc) const;
    Result LevelSurface(uint32_t face, uint32_t level, Surface** surface);
    Result LockSubresource(uint32_t face, uint32_t level, LockedRect* locked, const Rect* rect, uint32_t flags);
    Result UnlockSubresource(uint32_t face, uint32_t level);
    Result DirtyRect(uint32_t face, const Rect* rect);
    bool IsLocked(uint32_t face, uint32_t level) const;
    bool AnyLocked() const;
    bool Lockable() const;
    // Adds a rectangle of `level` to the changed region (kept in level-0 texels).
    void MarkDirty(uint32_t face, uint32_t level, const Rect& rect);

    TextureLayout layout_;
    ResourceStorage storage_;
    std::vector<Surface*> surfaces_; // one per face x level, for 2D and cube textures
    std::vector<bool> locked_;
    std::vector<std::optional<Rect>> dirty_; // per face, in level-0 texels

private:
    friend class Surface;
    friend class Device;
    friend class Backend;
    friend struct detail::ResourceAccess;
};

class Texture : public BaseTexture {
public:
    Result GetLevelDesc(uint32_t level, SurfaceDesc* desc) const { return LevelDesc(level, desc); }
    // Adds a reference (to the texture) for the caller.
    Result GetSurfaceLevel(uint32_t level, Surface** surface) { return LevelSurface(0, level, surface); }
    Result LockRect(uint32_t level, LockedRect* locked, const Rect* rect, uint32_t flags)
    {
        return LockSubresource(0, level, locked, rect, flags);
    }
    Result UnlockRect(uint32_t level) { return UnlockSubresource(0, level); }
    // Null marks the whole texture changed.
    Result AddDirtyRect(const Rect* rect) { return DirtyRect(0, rect); }

private:
    friend class Device;
    using BaseTexture::BaseTexture;
};

class CubeTexture : public BaseTexture {
public:
    Result GetLevelDesc(uint32_t level, SurfaceDesc* desc) const { return LevelDesc(level, desc); }
    Result GetCubeMapSurface(uint32_t face, uint32_t level, Surface** surface) { return LevelSurface(face, level, surface); }
    Result LockRect(uint32_t face, uint32_t level, LockedRect* locked, const Rect* rect, uint32_t flags)
    {
        return LockSubresource(face, level, locked, rect, flags);
    }
    Result UnlockRect(uint32_t face, uint32_t level) { return UnlockSubresource(face, level); }
    Result AddDirtyRect(uint32_t face, const Rect* rect) { return DirtyRect(face, rect); }

private:
    friend class Device;
    using BaseTexture::BaseTexture;
};

class VolumeTexture : public BaseTexture {
public:
    Result GetLevelDesc(uint32_t level, VolumeDesc* desc) const;
    // `box` null locks the whole level.
    Result LockBox(uint32_t level, LockedBox* locked, const Box* box, uint32_t flags);
    Result UnlockBox(uint32_t level) { return UnlockSubresource(0, level); }

private:
    friend class Device;
    using BaseTexture::BaseTexture;
};

} // namespace gfx
