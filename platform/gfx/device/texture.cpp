#include "platform/gfx/device/texture.h"

#include <algorithm>

#include "platform/gfx/device/format.h"
#include "platform/gfx/device/hooks.h"

namespace gfx {

uint32_t FullMipChain(uint32_t width, uint32_t height, uint32_t depth)
{
    uint32_t side = std::max({width, height, depth});
    uint32_t levels = 1;
    while (side > 1) {
        side >>= 1;
        ++levels;
    }
    return levels;
}

bool PlanTextureLayout(TextureLayout& layout)
{
    if (layout.width == 0 || layout.height == 0 || layout.depth == 0) return false;
    const bool block = IsBlockCompressed(layout.format);
    if (!block && BytesPerTexel(layout.format) == 0) return false;
    const uint32_t full = FullMipChain(layout.width, layout.height, layout.depth);
    const bool autoGen = (layout.usage & kUsageAutoGenMipMap) != 0;
    uint32_t asked = layout.levels;
    if (autoGen) {
        if (asked > 1) return false;
        layout.levels = full;
        layout.reportedLevels = 1;
    } else {
        if (asked == 0) asked = full;
        if (asked > full) return false;
        layout.levels = asked;
        layout.reportedLevels = asked;
    }
    layout.faces = layout.type == kResourceCubeTexture ? kCubeFaces : 1;
    layout.subresources.clear();
    uint64_t offset = 0;
    for (uint32_t face = 0; face < layout.faces; ++face) {
        for (uint32_t level = 0; level < layout.levels; ++level) {
            TextureLayout::Subresource sub;
            sub.width = std::max(1u, layout.width >> level);
            sub.height = std::max(1u, layout.height >> level);
            sub.depth = std::max(1u, layout.depth >> level);
            sub.rowPitch = RowPitch(layout.format, sub.width);
            sub.slicePitch = LevelSize(layout.format, sub.width, sub.height);
            sub.offset = offset;
            sub.size = sub.slicePitch * sub.depth;
            offset += sub.size;
            layout.subresources.push_back(sub);
        }
    }
    layout.totalBytes = offset;
    return true;
}

BaseTexture::BaseTexture(Device* device, TextureLayout layout, ResourceStorage storage, uint64_t videoBytes)
    : Resource(device, layout.type, layout.pool, layout.usage, videoBytes),
      layout_(std::move(layout)),
      storage_(std::move(storage)),
      locked_(layout_.subresources.size(), false),
      dirty_(layout_.faces)
{
    // A new texture counts as changed everywhere: its first update copies it all.
    for (auto& face : dirty_) face = Rect{0, 0, static_cast<int32_t>(layout_.width), static_cast<int32_t>(layout_.height)};
    if (layout_.type == kResourceVolumeTexture) return;
    const bool lockable = Lockable();
    for (uint32_t face = 0; face < layout_.faces; ++face) {
        for (uint32_t level = 0; level < layout_.levels; ++level) {
            const TextureLayout::Subresource& sub = *Sub(face, level);
            Surface::Shape shape;
            shape.width = sub.width;
            shape.height = sub.height;
            shape.format = layout_.format;
            shape.usage = layout_.usage;
            shape.pool = layout_.pool;
            shape.lockable = lockable;
            surfaces_.push_back(new Surface(this, shape, face, level, storage_.get() + sub.offset));
        }
    }
}

BaseTexture::~BaseTexture()
{
    BytesGoing();
    for (Surface* surface : surfaces_) delete surface;
}

const TextureLayout::Subresource* BaseTexture::Sub(uint32_t face, uint32_t level) const
{
    if (face >= layout_.faces || level >= layout_.levels) return nullptr;
    return &layout_.subresources[static_cast<size_t>(face) * layout_.levels + level];
}

bool BaseTexture::Lockable() const
{
    if ((GetUsage() & (kUsageRenderTarget | kUsageDepthStencil)) != 0) return false;
    return GetPool() != kPoolDefault || (GetUsage() & kUsageDynamic) != 0;
}

bool BaseTexture::IsLocked(uint32_t face, uint32_t level) const
{
    const size_t index = static_cast<size_t>(face) * layout_.levels + level;
    return index < locked_.size() && locked_[index];
}

bool BaseTexture::AnyLocked() const
{
    return std::find(locked_.begin(), locked_.end(), true) != locked_.end();
}

Result BaseTexture::LevelDesc(uint32_t level, SurfaceDesc* desc) const
{
    const TextureLayout::Subresource* sub = level < layout_.reportedLevels ? Sub(0, level) : nullptr;
    if (!sub || !desc) return kInvalidCall;
    desc->format = layout_.format;
    desc->type = kResourceSurface;
    desc->usage = GetUsage();
    desc->pool = GetPool();
    desc->multiSampleType = 0;
    desc->multiSampleQuality = 0;
    desc->width = sub->width;
    desc->height = sub->height;
    return kOk;
}

Result BaseTexture::LevelSurface(uint32_t face, uint32_t level, Surface** surface)
{
    Result result = kOk;
    if (auto injected = detail::TakeInjection("GetSurfaceLevel"); injected && Failed(*injected)) {
        result = *injected;
    } else if (!surface || level >= layout_.reportedLevels || face >= layout_.faces || surfaces_.empty()) {
        result = kInvalidCall;
    }
    if (surface) {
        *surface = nullptr;
        if (Succeeded(result)) {
            *surface = surfaces_[static_cast<size_t>(face) * layout_.levels + level];
            AddRef();
        }
    }
    detail::RecordCall("GetSurfaceLevel", {detail::Arg(this), face, level}, result);
    return result;
}

void BaseTexture::MarkDirty(uint32_t face, uint32_t level, const Rect& rect)
{
    if (face >= dirty_.size()) return;
    const Rect scaled{rect.left << level, rect.top << level,
                      std::min<int32_t>(static_cast<int32_t>(layout_.width), rect.right << level),
                      std::min<int32_t>(static_cast<int32_t>(layout_.height), rect.bottom << level)};
    std::optional<Rect>& dirty = dirty_[face];
    if (!dirty) {
        dirty = scaled;
        return;
    }
    dirty->left = std::min(dirty->left, scaled.left);
    dirty->top = std::min(dirty->top, scaled.top);
    dirty->right = std::max(dirty->right, scaled.right);
    dirty->bottom = std::max(dirty->bottom, scaled.bottom);
}

Result BaseTexture::LockSubresource(uint32_t face, uint32_t level, LockedRect* locked, const Rect* rect, uint32_t flags)
{
    Result result = kOk;
    const TextureLayout::Subresource* sub = Sub(face, level);
    Rect area;
    if (auto injected = detail::TakeInjection("LockRect"); injected && Failed(*injected)) {
        result = *injected;
    } else if (!locked || !sub || level >= layout_.reportedLevels || !Lockable() || IsLocked(face, level) ||
               layout_.type == kResourceVolumeTexture ||
               ((flags & kLockDiscard) != 0 && (GetUsage() & kUsageDynamic) == 0) ||
               !ResolveRect(rect, sub->width, sub->height, layout_.format, area)) {
        result = kInvalidCall;
    }
    if (Succeeded(result)) {
        SyncToCpu();
        ContentChanged();
        uint8_t* bits = storage_.get() + sub->offset;
        locked->pitch = static_cast<int32_t>(sub->rowPitch);
        locked->bits = TexelAddress(bits, sub->rowPitch, layout_.format, area.left, area.top);
        locked_[static_cast<size_t>(face) * layout_.levels + level] = true;
        if ((flags & (kLockReadOnly | kLockNoDirtyUpdate)) == 0) MarkDirty(face, level, area);
    } else if (locked) {
        *locked = LockedRect{};
    }
    detail::RecordCall("LockRect", {detail::Arg(this), face, level, flags}, result);
    return result;
}

Result BaseTexture::UnlockSubresource(uint32_t face, uint32_t level)
{
    Result result = IsLocked(face, level) ? kOk : kInvalidCall;
    if (auto injected = detail::TakeInjection("UnlockRect"); injected && Failed(*injected)) result = *injected;
    if (Succeeded(result)) {
        locked_[static_cast<size_t>(face) * layout_.levels + level] = false;
        ContentChanged();
    }
    detail::RecordCall("UnlockRect", {detail::Arg(this), face, level}, result);
    return result;
}

Result BaseTexture::DirtyRect(uint32_t face, const Rect* rect)
{
    Rect area;
    Result result = kOk;
    if (face >= layout_.faces || !ResolveRect(rect, layout_.width, layout_.height, kFormatUnknown, area)) {
        result = kInvalidCall;
    } else {
        MarkDirty(face, 0, area);
    }
    detail::RecordCall("AddDirtyRect", {detail::Arg(this), face, rect ? 1u : 0u}, result);
    return result;
}

Result BaseTexture::GenerateMipSubLevels()
{
    GenerateMipsOnGpu();
    detail::RecordCall("GenerateMipSubLevels", {detail::Arg(this)}, kOk);
    return kOk;
}

Result VolumeTexture::GetLevelDesc(uint32_t level, VolumeDesc* desc) const
{
    const TextureLayout::Subresource* sub = level < layout_.reportedLevels ? Sub(0, level) : nullptr;
    if (!sub || !desc) return kInvalidCall;
    desc->format = layout_.format;
    desc->type = kResourceVolume;
    desc->usage = GetUsage();
    desc->pool = GetPool();
    desc->width = sub->width;
    desc->height = sub->height;
    desc->depth = sub->depth;
    return kOk;
}

Result VolumeTexture::LockBox(uint32_t level, LockedBox* locked, const Box* box, uint32_t flags)
{
    Result result = kOk;
    const TextureLayout::Subresource* sub = Sub(0, level);
    Box area;
    if (sub) area = box ? *box : Box{0, 0, sub->width, sub->height, 0, sub->depth};
    Rect plane{static_cast<int32_t>(area.left), static_cast<int32_t>(area.top), static_cast<int32_t>(area.right),
               static_cast<int32_t>(area.bottom)};
    Rect checked;
    if (auto injected = detail::TakeInjection("LockBox"); injected && Failed(*injected)) {
        result = *injected;
    } else if (!locked || !sub || level >= layout_.reportedLevels || !Lockable() || IsLocked(0, level) ||
               area.back <= area.front || area.back > sub->depth ||
               area.right > static_cast<uint32_t>(INT32_MAX) || area.bottom > static_cast<uint32_t>(INT32_MAX) ||
               !ResolveRect(&plane, sub->width, sub->height, layout_.format, checked)) {
        result = kInvalidCall;
    }
    if (Succeeded(result)) {
        SyncToCpu();
        ContentChanged();
        uint8_t* slice = storage_.get() + sub->offset + sub->slicePitch * area.front;
        locked->rowPitch = static_cast<int32_t>(sub->rowPitch);
        locked->slicePitch = static_cast<int32_t>(sub->slicePitch);
        locked->bits = TexelAddress(slice, sub->rowPitch, layout_.format, checked.left, checked.top);
        locked_[level] = true;
        if ((flags & (kLockReadOnly | kLockNoDirtyUpdate)) == 0) MarkDirty(0, level, checked);
    } else if (locked) {
        *locked = LockedBox{};
    }
    detail::RecordCall("LockBox", {detail::Arg(this), level, flags}, result);
    return result;
}

} // namespace gfx
