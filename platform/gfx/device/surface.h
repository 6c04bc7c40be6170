#pragma once
// A 2D image in memory: a render target, a depth-stencil surface, an offscreen
// plain surface, or one level (and face) of a texture. Its bytes are real; a
// texture's level surface shares the texture's storage and reference count.
#include <cstdint>
#include <memory>

#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/resource.h"
#include "platform/gfx/device/resource_storage.h"
#include "platform/gfx/device/result.h"

namespace gfx {

class BaseTexture;

struct SurfaceDesc {
    uint32_t format = 0;
    uint32_t type = kResourceSurface;
    uint32_t usage = 0;
    uint32_t pool = 0;
    uint32_t multiSampleType = 0;
    uint32_t multiSampleQuality = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

class Surface : public Resource {
public:
    // A level surface counts on its texture: it lives as long as the texture.
    uint32_t AddRef() override;
    uint32_t Release() override;

    Result GetDesc(SurfaceDesc* desc) const;
    // `rect` null locks the whole surface. Only lockable surfaces lock: offscreen
    // plain surfaces, lockable render targets, levels of lockable textures.
    Result LockRect(LockedRect* locked, const Rect* rect, uint32_t flags);
    Result UnlockRect();

    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    uint32_t Format() const { return format_; }
    uint32_t MultiSampleType() const { return multiSampleType_; }
    uint32_t MultiSampleQuality() const { return multiSampleQuality_; }
    // The texture this surface is a level of (not counted), or null.
    BaseTexture* Container() const { return container_; }
    uint32_t Face() const { return face_; }
    uint32_t Level() const { return level_; }

private:
    friend class Device;
    friend class Backend;
    friend class BaseTexture;
    friend struct detail::ResourceAccess;

    struct Shape {
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t format = 0;
        uint32_t usage = 0;
        uint32_t pool = 0;
        uint32_t multiSampleType = 0;
        uint32_t multiSampleQuality = 0;
        bool lockable = false;
    };

    // A surface that owns its bytes (`storage` holds RowPitch x rows).
    Surface(Device* device, const Shape& shape, ResourceStorage storage, uint64_t videoBytes);
    // Level `level` of face `face` of `container`, whose storage holds the bytes.
    Surface(BaseTexture* container, const Shape& shape, uint32_t face, uint32_t level, uint8_t* bits);
    ~Surface() override;

    uint8_t* Bits() const { return bits_; }
    uint32_t Pitch() const;
    bool IsLocked() const;

    uint32_t width_;
    uint32_t height_;
    uint32_t format_;
    uint32_t multiSampleType_;
    uint32_t multiSampleQuality_;
    bool lockable_;
    ResourceStorage storage_;
    uint8_t* bits_;
    BaseTexture* container_ = nullptr;
    uint32_t face_ = 0;
    uint32_t level_ = 0;
    bool locked_ = false; // own lock state; a level surface uses its texture's
};

// The rectangle of `rect` within a width x height image, checked: inside the
// image, not empty, and for block formats on 4 x 4 block edges (or the image's
// own edge). Null means the whole image.
bool ResolveRect(const Rect* rect, uint32_t width, uint32_t height, uint32_t format, Rect& out);

// Address of texel (x, y) (a block's first texel for block formats).
uint8_t* TexelAddress(uint8_t* bits, uint32_t pitch, uint32_t format, int32_t x, int32_t y);

} // namespace gfx
