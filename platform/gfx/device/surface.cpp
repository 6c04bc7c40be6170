#include "platform/gfx/device/surface.h"

#include "platform/gfx/device/format.h"
#include "platform/gfx/device/hooks.h"
#include "platform/gfx/device/texture.h"

namespace gfx {

bool ResolveRect(const Rect* rect, uint32_t width, uint32_t height, uint32_t format, Rect& out)
{
    if (!rect) {
        out = Rect{0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)};
        return true;
    }
    if (rect->left < 0 || rect->top < 0 || rect->right <= rect->left || rect->bottom <= rect->top) return false;
    if (static_cast<uint32_t>(rect->right) > width || static_cast<uint32_t>(rect->bottom) > height) return false;
    if (IsBlockCompressed(format)) {
        const auto edgeOk = [](int32_t value, uint32_t limit) {
            return value % 4 == 0 || static_cast<uint32_t>(value) == limit;
        };
        if (rect->left % 4 != 0 || rect->top % 4 != 0 || !edgeOk(rect->right, width) ||
            !edgeOk(rect->bottom, height)) {
            return false;
        }
    }
    out = *rect;
    return true;
}

uint8_t* TexelAddress(uint8_t* bits, uint32_t pitch, uint32_t format, int32_t x, int32_t y)
{
    if (IsBlockCompressed(format)) {
        const uint32_t blockBytes = format == kFormatDXT1 ? 8u : 16u;
        return bits + static_cast<size_t>(y / 4) * pitch + static_cast<size_t>(x / 4) * blockBytes;
    }
    return bits + static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * BytesPerTexel(format);
}

Surface::Surface(Device* device, const Shape& shape, ResourceStorage storage, uint64_t videoBytes)
    : Resource(device, kResourceSurface, shape.pool, shape.usage, videoBytes),
      width_(shape.width),
      height_(shape.height),
      format_(shape.format),
      multiSampleType_(shape.multiSampleType),
      multiSampleQuality_(shape.multiSampleQuality),
      lockable_(shape.lockable),
      storage_(std::move(storage)),
      bits_(storage_.get())
{
}

Surface::Surface(BaseTexture* container, const Shape& shape, uint32_t face, uint32_t level, uint8_t* bits)
    : Resource(container->GetDevice(), kResourceSurface, shape.pool, shape.usage, 0, false),
      width_(shape.width),
      height_(shape.height),
      format_(shape.format),
      multiSampleType_(0),
      multiSampleQuality_(0),
      lockable_(shape.lockable),
      bits_(bits),
      container_(container),
      face_(face),
      level_(level)
{
}

Surface::~Surface()
{
    if (!container_) BytesGoing(); // a level's bytes are its texture's
}

uint32_t Surface::AddRef()
{
    return container_ ? container_->AddRef() : Resource::AddRef();
}

uint32_t Surface::Release()
{
    return container_ ? container_->Release() : Resource::Release();
}

uint32_t Surface::Pitch() const
{
    return RowPitch(format_, width_);
}

bool Surface::IsLocked() const
{
    return container_ ? container_->IsLocked(face_, level_) : locked_;
}

Result Surface::GetDesc(SurfaceDesc* desc) const
{
    if (!desc) return kInvalidCall;
    desc->format = format_;
    desc->type = kResourceSurface;
    desc->usage = GetUsage();
    desc->pool = GetPool();
    desc->multiSampleType = multiSampleType_;
    desc->multiSampleQuality = multiSampleQuality_;
    desc->width = width_;
    desc->height = height_;
    return kOk;
}

Result Surface::LockRect(LockedRect* locked, const Rect* rect, uint32_t flags)
{
    if (container_) return container_->LockSubresource(face_, level_, locked, rect, flags);
    Result result = kOk;
    if (auto injected = detail::TakeInjection("Surface::LockRect"); injected && Failed(*injected)) {
        result = *injected;
    } else {
        Rect area;
        if (!locked || !lockable_ || locked_ || !ResolveRect(rect, width_, height_, format_, area)) {
            result = kInvalidCall;
        } else {
            SyncToCpu();
            ContentChanged();
            locked->pitch = static_cast<int32_t>(Pitch());
            locked->bits = TexelAddress(bits_, Pitch(), format_, area.left, area.top);
            locked_ = true;
        }
    }
    if (Failed(result) && locked) *locked = LockedRect{};
    detail::RecordCall("Surface::LockRect", {detail::Arg(this), flags}, result);
    return result;
}

Result Surface::UnlockRect()
{
    if (container_) return container_->UnlockSubresource(face_, level_);
    Result result = locked_ ? kOk : kInvalidCall;
    if (auto injected = detail::TakeInjection("Surface::UnlockRect"); injected && Failed(*injected)) result = *injected;
    if (Succeeded(result)) {
        locked_ = false;
        ContentChanged();
    }
    detail::RecordCall("Surface::UnlockRect", {detail::Arg(this)}, result);
    return result;
}

} // namespace gfx
