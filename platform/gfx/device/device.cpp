#include "platform/gfx/device/device.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/gfx/device/adapter_memory.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/frame_report.h"
#include "platform/gfx/device/hooks.h"
#include "platform/gfx/device/pixel_ops.h"

namespace gfx {

namespace {

// No single resource may ask for more; a larger request is out of memory
// rather than an allocation the process cannot make.
constexpr uint64_t kMaxResourceBytes = uint64_t{1} << 31;
constexpr uint32_t kTextureUsages = kUsageRenderTarget | kUsageDepthStencil | kUsageDynamic | kUsageAutoGenMipMap;
constexpr uint32_t kBufferUsages = kUsageWriteOnly | kUsageDynamic;
constexpr uint32_t kFrequencyCount = 0x3FFFFFFFu;

ResourceStorage Allocate(uint64_t bytes)
{
    if (bytes > kMaxResourceBytes) return nullptr;
    return AllocateResourceStorage(bytes);
}

bool IsTexelFormat(uint32_t format)
{
    return format != kFormatIndex16 && format != kFormatIndex32 && (BytesPerTexel(format) > 0 || IsBlockCompressed(format));
}

bool IsRenderable(uint32_t format)
{
    uint8_t texel[16];
    return !IsBlockCompressed(format) && PackColour(format, 0, texel) != 0;
}

uint64_t SampleFactor(uint32_t type)
{
    return type >= 2 ? type : 1;
}

std::optional<Result> Injected(const char* name)
{
    auto result = detail::TakeInjection(name);
    if (result && Failed(*result)) return result;
    return std::nullopt;
}

bool ValidPool(uint32_t pool)
{
    return pool <= kPoolScratch;
}

// The checks every texture kind shares, before its layout is planned.
bool TextureRequestOk(const TextureLayout& layout, const Caps& caps)
{
    const uint32_t usage = layout.usage;
    if ((usage & ~kTextureUsages) != 0 || !ValidPool(layout.pool) || !IsTexelFormat(layout.format)) return false;
    if (layout.width > caps.maxTextureWidth || layout.height > caps.maxTextureHeight) return false;
    const bool depth = IsDepthFormat(layout.format);
    if ((usage & kUsageRenderTarget) && (usage & kUsageDepthStencil)) return false;
    if ((usage & (kUsageRenderTarget | kUsageDepthStencil)) && layout.pool != kPoolDefault) return false;
    if ((usage & kUsageRenderTarget) && !IsRenderable(layout.format)) return false;
    if (depth != ((usage & kUsageDepthStencil) != 0)) return false;
    if ((usage & kUsageDynamic) && ((caps.caps2 & kCaps2DynamicTextures) == 0 || layout.pool == kPoolManaged)) return false;
    if ((usage & kUsageAutoGenMipMap) && ((caps.caps2 & kCaps2CanAutoGenMipMap) == 0 || layout.pool == kPoolSystemMem)) {
        return false;
    }
    // A block format's top level is whole blocks, or less than one block a side:
    // the runtime asks for the small levels of every chain (2 x 2, 1 x 1) on
    // their own, and the driver keeps a padded block for them.
    if (IsBlockCompressed(layout.format) &&
        (BlockSide(layout.width) != layout.width || BlockSide(layout.height) != layout.height))
        return false;
    return true;
}

bool ViewportFits(const Viewport& viewport, const Surface* target)
{
    if (!target || viewport.width == 0 || viewport.height == 0) return false;
    if (!(viewport.minZ >= 0.0f && viewport.minZ <= 1.0f && viewport.maxZ >= 0.0f && viewport.maxZ <= 1.0f)) return false;
    return uint64_t{viewport.x} + viewport.width <= target->Width() &&
           uint64_t{viewport.y} + viewport.height <= target->Height();
}

} // namespace

bool MultisampleWorks(uint32_t type, uint32_t quality)
{
    if (type == kMultisampleNone) return quality == 0;
    if (type > kMultisampleMaxSamples) return false;
    const detail::AdapterConfig adapter = detail::Adapter();
    if (type != kMultisampleNonMaskable && type > adapter.maxSampleType) return false;
    return quality < adapter.qualityLevels;
}

Device::Device(const PresentParameters& parameters, ResourceStorage backBuffer, uint64_t backBufferBytes,
               ResourceStorage depthBuffer, uint64_t depthBytes, platform::Window* presentWindow)
    : parameters_(parameters), pacer_(parameters), presentWindow_(presentWindow), backend_(MakeBackend(presentWindow))
{
    for (uint32_t state = 0; state < kRenderStateLimit; ++state) {
        renderStates_[state] = InitialRenderState(state, parameters.enableAutoDepthStencil);
    }
    Surface::Shape shape;
    shape.width = parameters.backBufferWidth;
    shape.height = parameters.backBufferHeight;
    shape.format = parameters.backBufferFormat;
    shape.usage = kUsageRenderTarget;
    shape.pool = kPoolDefault;
    shape.multiSampleType = parameters.multiSampleType;
    shape.multiSampleQuality = parameters.multiSampleQuality;
    backBuffer_ = new Surface(this, shape, std::move(backBuffer), backBufferBytes);
    renderTargets_[0] = backBuffer_;
    backBuffer_->AddRef();
    if (parameters.enableAutoDepthStencil) {
        shape.format = parameters.autoDepthStencilFormat;
        shape.usage = kUsageDepthStencil;
        depthStencil_ = new Surface(this, shape, std::move(depthBuffer), depthBytes);
    }
    viewport_ = Viewport{0, 0, shape.width, shape.height, 0.0f, 1.0f};
}

void Device::Forget(Resource* resource)
{
    resources_.erase(resource);
    backend_->Forget(resource);
}

Device::~Device()
{
    backend_->Closing();
    for (BaseTexture*& texture : states_.textures) SafeRelease(texture);
    for (Surface*& target : renderTargets_) SafeRelease(target);
    SafeRelease(depthStencil_);
    for (StreamBinding& stream : streams_) SafeRelease(stream.buffer);
    SafeRelease(declaration_);
    SafeRelease(indices_);
    SafeRelease(backBuffer_);
    backend_.reset(); // settles what the engine still holds, writes the last frame's picture if one is wanted
    // What the engine still holds outlives the device; it no longer points back.
    const size_t leaked = resources_.size() + declarations_.size();
    for (Resource* resource : resources_) {
        resource->Orphan();
        if (resource->GetType() == kResourceTexture || resource->GetType() == kResourceCubeTexture) {
            for (Surface* level : static_cast<BaseTexture*>(resource)->surfaces_) level->Orphan();
        }
    }
    for (VertexDeclaration* declaration : declarations_) declaration->Orphan();
    {
        detail::Hooks& hooks = detail::Hooks::Get();
        std::lock_guard lock(hooks.mutex);
        hooks.leakedAtLastDeviceRelease = static_cast<uint32_t>(leaked);
    }
    detail::RecordCall("Device::Destroy", {detail::Arg(this), leaked}, kOk);
    WriteFrameReport(frames_);
}

template <class T>
Result Device::MakeTexture(const char* name, TextureLayout layout, T** texture)
{
    Result result = kOk;
    const Caps caps = detail::Adapter().caps;
    const uint32_t usage = layout.usage, format = layout.format, pool = layout.pool;
    ResourceStorage storage;
    uint64_t videoBytes = 0;
    if (auto injected = Injected(name)) {
        result = *injected;
    } else if (!texture || !TextureRequestOk(layout, caps) || !PlanTextureLayout(layout)) {
        result = kInvalidCall;
    } else if (layout.totalBytes > kMaxResourceBytes) {
        result = kOutOfMemory;
    } else if (pool == kPoolDefault && !ReserveVideoMemory(layout.totalBytes)) {
        result = kOutOfVideoMemory;
    } else {
        videoBytes = pool == kPoolDefault ? layout.totalBytes : 0;
        storage = Allocate(layout.totalBytes);
        if (!storage) {
            FreeVideoMemory(videoBytes);
            result = kOutOfMemory;
        }
    }
    T* made = Succeeded(result) ? new T(this, std::move(layout), std::move(storage), videoBytes) : nullptr;
    if (texture) *texture = made;
    detail::RecordCall(name, {detail::Arg(made), usage, format, pool}, result);
    return result;
}

Result Device::CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, uint32_t format,
                             uint32_t pool, Texture** texture)
{
    TextureLayout layout;
    layout.type = kResourceTexture;
    layout.width = width;
    layout.height = height;
    layout.levels = levels;
    layout.usage = usage;
    layout.format = format;
    layout.pool = pool;
    return MakeTexture("CreateTexture", std::move(layout), texture);
}

Result Device::CreateCubeTexture(uint32_t edge, uint32_t levels, uint32_t usage, uint32_t format, uint32_t pool,
                                 CubeTexture** texture)
{
    TextureLayout layout;
    layout.type = kResourceCubeTexture;
    layout.width = edge;
    layout.height = edge;
    layout.levels = levels;
    layout.usage = usage;
    layout.format = format;
    layout.pool = pool;
    return MakeTexture("CreateCubeTexture", std::move(layout), texture);
}

Result Device::CreateVolumeTexture(uint32_t width, uint32_t height, uint32_t depth, uint32_t levels, uint32_t usage,
                                   uint32_t format, uint32_t pool, VolumeTexture** texture)
{
    TextureLayout layout;
    layout.type = kResourceVolumeTexture;
    layout.width = width;
    layout.height = height;
    layout.depth = depth;
    layout.levels = levels;
    layout.usage = usage;
    layout.format = format;
    layout.pool = pool;
    const uint32_t extent = detail::Adapter().caps.maxVolumeExtent;
    if ((usage & (kUsageRenderTarget | kUsageDepthStencil)) != 0 || width > extent || height > extent || depth > extent) {
        layout.width = 0; // refused by the layout plan below
    }
    return MakeTexture("CreateVolumeTexture", std::move(layout), texture);
}

Result Device::MakeSurface(const char* name, const Surface::Shape& shape, uint64_t videoBytes, Surface** surface)
{
    Result result = kOk;
    const uint64_t bytes = LevelSize(shape.format, shape.width, shape.height);
    ResourceStorage storage;
    if (bytes > kMaxResourceBytes || videoBytes > kMaxResourceBytes) {
        result = kOutOfMemory;
    } else if (videoBytes != 0 && !ReserveVideoMemory(videoBytes)) {
        result = kOutOfVideoMemory;
    } else {
        storage = Allocate(bytes);
        if (!storage) {
            FreeVideoMemory(videoBytes);
            result = kOutOfMemory;
        }
    }
    Surface* made = Succeeded(result) ? new Surface(this, shape, std::move(storage), videoBytes) : nullptr;
    *surface = made;
    detail::RecordCall(name, {detail::Arg(made), shape.width, shape.height, shape.format, shape.multiSampleType,
                              shape.multiSampleQuality},
                       result);
    return result;
}

Result Device::CreateRenderTarget(uint32_t width, uint32_t height, uint32_t format, uint32_t multiSampleType,
                                  uint32_t multiSampleQuality, bool lockable, Surface** surface)
{
    const Caps caps = detail::Adapter().caps;
    Result result = kOk;
    if (auto injected = Injected("CreateRenderTarget")) {
        result = *injected;
    } else if (!surface || width == 0 || height == 0 || width > caps.maxTextureWidth || height > caps.maxTextureHeight ||
               !IsRenderable(format) || !MultisampleWorks(multiSampleType, multiSampleQuality)) {
        result = kInvalidCall;
    }
    if (Failed(result)) {
        if (surface) *surface = nullptr;
        detail::RecordCall("CreateRenderTarget", {0, width, height, format, multiSampleType, multiSampleQuality}, result);
        return result;
    }
    Surface::Shape shape{width, height, format, kUsageRenderTarget, kPoolDefault, multiSampleType, multiSampleQuality,
                         lockable};
    return MakeSurface("CreateRenderTarget", shape, LevelSize(format, width, height) * SampleFactor(multiSampleType),
                       surface);
}

Result Device::CreateDepthStencilSurface(uint32_t width, uint32_t height, uint32_t format, uint32_t multiSampleType,
                                         uint32_t multiSampleQuality, bool /*discard*/, Surface** surface)
{
    const Caps caps = detail::Adapter().caps;
    Result result = kOk;
    if (auto injected = Injected("CreateDepthStencilSurface")) {
        result = *injected;
    } else if (!surface || width == 0 || height == 0 || width > caps.maxTextureWidth || height > caps.maxTextureHeight ||
               !IsDepthFormat(format) || !MultisampleWorks(multiSampleType, multiSampleQuality)) {
        result = kInvalidCall;
    }
    if (Failed(result)) {
        if (surface) *surface = nullptr;
        detail::RecordCall("CreateDepthStencilSurface", {0, width, height, format, multiSampleType, multiSampleQuality},
                           result);
        return result;
    }
    Surface::Shape shape{width, height, format, kUsageDepthStencil, kPoolDefault, multiSampleType, multiSampleQuality,
                         false};
    return MakeSurface("CreateDepthStencilSurface", shape,
                       LevelSize(format, width, height) * SampleFactor(multiSampleType), surface);
}

Result Device::CreateOffscreenPlainSurface(uint32_t width, uint32_t height, uint32_t format, uint32_t pool,
                                           Surface** surface)
{
    const Caps caps = detail::Adapter().caps;
    Result result = kOk;
    if (auto injected = Injected("CreateOffscreenPlainSurface")) {
        result = *injected;
    } else if (!surface || width == 0 || height == 0 || width > caps.maxTextureWidth || height > caps.maxTextureHeight ||
               !IsTexelFormat(format) || IsDepthFormat(format) || !ValidPool(pool) || pool == kPoolManaged ||
               (IsBlockCompressed(format) && (width % 4 != 0 || height % 4 != 0))) {
        result = kInvalidCall;
    }
    if (Failed(result)) {
        if (surface) *surface = nullptr;
        detail::RecordCall("CreateOffscreenPlainSurface", {0, width, height, format, 0, 0}, result);
        return result;
    }
    Surface::Shape shape{width, height, format, 0, pool, 0, 0, true};
    return MakeSurface("CreateOffscreenPlainSurface", shape, pool == kPoolDefault ? LevelSize(format, width, height) : 0,
                       surface);
}

Result Device::MakeBuffer(const char* name, ResourceType type, uint32_t length, uint32_t usage, uint32_t format,
                          uint32_t fvf, uint32_t pool, Buffer** buffer)
{
    Result result = kOk;
    ResourceStorage storage;
    const uint64_t videoBytes = pool == kPoolDefault ? length : 0;
    if (auto injected = Injected(name)) {
        result = *injected;
    } else if (!buffer || length == 0 || (usage & ~kBufferUsages) != 0 || !ValidPool(pool) || pool == kPoolScratch ||
               ((usage & kUsageDynamic) && pool == kPoolManaged) ||
               (type == kResourceIndexBuffer && format != kFormatIndex16 && format != kFormatIndex32)) {
        result = kInvalidCall;
    } else if (videoBytes != 0 && !ReserveVideoMemory(videoBytes)) {
        result = kOutOfVideoMemory;
    } else {
        storage = Allocate(length);
        if (!storage) {
            FreeVideoMemory(videoBytes);
            result = kOutOfMemory;
        }
    }
    Buffer* made = nullptr;
    if (Succeeded(result)) {
        if (type == kResourceIndexBuffer) {
            made = new IndexBuffer(this, type, length, usage, pool, format, 0, std::move(storage), videoBytes);
        } else {
            made = new VertexBuffer(this, type, length, usage, pool, 0, fvf, std::move(storage), videoBytes);
        }
    }
    if (buffer) *buffer = made;
    detail::RecordCall(name, {detail::Arg(made), length, usage, format, pool}, result);
    return result;
}

Result Device::CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool, VertexBuffer** buffer)
{
    Buffer* made = nullptr;
    const Result result = MakeBuffer("CreateVertexBuffer", kResourceVertexBuffer, length, usage, 0, fvf, pool,
                                     buffer ? &made : nullptr);
    if (buffer) *buffer = static_cast<VertexBuffer*>(made);
    return result;
}

Result Device::CreateIndexBuffer(uint32_t length, uint32_t usage, uint32_t format, uint32_t pool, IndexBuffer** buffer)
{
    Buffer* made = nullptr;
    const Result result = MakeBuffer("CreateIndexBuffer", kResourceIndexBuffer, length, usage, format, 0, pool,
                                     buffer ? &made : nullptr);
    if (buffer) *buffer = static_cast<IndexBuffer*>(made);
    return result;
}

Result Device::CreateVertexDeclaration(const VertexElement* elements, VertexDeclaration** declaration)
{
    Result result = kOk;
    std::vector<VertexElement> list;
    if (auto injected = Injected("CreateVertexDeclaration")) {
        result = *injected;
    } else if (!elements || !declaration) {
        result = kInvalidCall;
    } else {
        bool ended = false;
        for (uint32_t i = 0; i <= kMaxDeclElements; ++i) {
            const VertexElement& element = elements[i];
            if (IsDeclEnd(element)) {
                ended = true;
                break;
            }
            const bool duplicate = std::any_of(list.begin(), list.end(), [&](const VertexElement& other) {
                return other.usage == element.usage && other.usageIndex == element.usageIndex;
            });
            if (element.stream >= kMaxStreams || element.offset % 4 != 0 || DeclTypeSize(element.type) == 0 ||
                element.usage > kDeclUsageSample || duplicate) {
                break;
            }
            list.push_back(element);
        }
        if (!ended) result = kInvalidCall;
    }
    VertexDeclaration* made = Succeeded(result) ? new VertexDeclaration(this, std::move(list)) : nullptr;
    if (declaration) *declaration = made;
    detail::RecordCall("CreateVertexDeclaration", {detail::Arg(made)}, result);
    return result;
}

Result Device::CreateQuery(uint32_t type, GpuQuery** query)
{
    const detail::AdapterConfig adapter = detail::Adapter();
    Result result = kOk;
    if (auto injected = Injected("CreateQuery")) {
        result = *injected;
    } else if (!((type == kQueryEvent && adapter.eventQueries) || (type == kQueryOcclusion && adapter.occlusionQueries))) {
        result = kNotAvailable;
    }
    GpuQuery* made = (Succeeded(result) && query) ? new GpuQuery(type) : nullptr;
    if (query) *query = made;
    detail::RecordCall("CreateQuery", {type, detail::Arg(made)}, result);
    return result;
}

Result Device::UpdateTexture(BaseTexture* source, BaseTexture* destination)
{
    Result result = kOk;
    uint32_t skip = 0;
    if (auto injected = Injected("UpdateTexture")) {
        result = *injected;
    } else if (!source || !destination || source == destination || source->GetType() != destination->GetType() ||
               source->GetPool() != kPoolSystemMem || destination->GetPool() != kPoolDefault ||
               source->Format() != destination->Format() || source->AnyLocked() || destination->AnyLocked()) {
        result = kInvalidCall;
    } else {
        // A larger source skips its top levels until the sizes meet.
        const TextureLayout& src = source->layout_;
        const TextureLayout& dst = destination->layout_;
        while (skip < src.reportedLevels && (std::max(1u, src.width >> skip) != dst.width ||
                                              std::max(1u, src.height >> skip) != dst.height ||
                                              std::max(1u, src.depth >> skip) != dst.depth)) {
            ++skip;
        }
        if (skip >= src.reportedLevels || src.reportedLevels - skip < dst.reportedLevels) result = kInvalidCall;
    }
    if (Succeeded(result)) {
        destination->SyncToCpu();
        destination->ContentChanged();
        const TextureLayout& src = source->layout_;
        const TextureLayout& dst = destination->layout_;
        const bool block = IsBlockCompressed(src.format);
        for (uint32_t face = 0; face < src.faces; ++face) {
            const std::optional<Rect>& dirty = source->dirty_[face];
            if (!dirty) continue;
            for (uint32_t level = 0; level < dst.reportedLevels; ++level) {
                const TextureLayout::Subresource& from = *source->Sub(face, level + skip);
                const TextureLayout::Subresource& to = *destination->Sub(face, level);
                const uint32_t shift = level + skip;
                const int64_t scale = int64_t{1} << shift;
                Rect area{static_cast<int32_t>(dirty->left >> shift), static_cast<int32_t>(dirty->top >> shift),
                          static_cast<int32_t>((dirty->right + scale - 1) >> shift),
                          static_cast<int32_t>((dirty->bottom + scale - 1) >> shift)};
                area = Intersect(area, Rect{0, 0, static_cast<int32_t>(to.width), static_cast<int32_t>(to.height)});
                if (block) {
                    area.left &= ~3;
                    area.top &= ~3;
                    area.right = std::min<int32_t>((area.right + 3) & ~3, static_cast<int32_t>(to.width));
                    area.bottom = std::min<int32_t>((area.bottom + 3) & ~3, static_cast<int32_t>(to.height));
                }
                if (area.right <= area.left || area.bottom <= area.top) continue;
                const uint32_t rowBytes = block ? RowPitch(src.format, static_cast<uint32_t>(area.right)) -
                                                      RowPitch(src.format, static_cast<uint32_t>(area.left))
                                                : static_cast<uint32_t>(area.right - area.left) * BytesPerTexel(src.format);
                const int32_t rowStep = block ? 4 : 1;
                for (uint32_t slice = 0; slice < to.depth; ++slice) {
                    uint8_t* fromSlice = source->storage_.get() + from.offset + from.slicePitch * slice;
                    uint8_t* toSlice = destination->storage_.get() + to.offset + to.slicePitch * slice;
                    for (int32_t y = area.top; y < area.bottom; y += rowStep) {
                        std::memcpy(TexelAddress(toSlice, to.rowPitch, src.format, area.left, y),
                                    TexelAddress(fromSlice, from.rowPitch, src.format, area.left, y), rowBytes);
                    }
                }
            }
            source->dirty_[face].reset();
        }
    }
    detail::RecordCall("UpdateTexture", {detail::Arg(source), detail::Arg(destination)}, result);
    return result;
}

Result Device::StretchRect(Surface* source, const Rect* sourceRect, Surface* destination, const Rect* destinationRect,
                           uint32_t filter)
{
    Result result = kOk;
    Rect from, to;
    if (auto injected = Injected("StretchRect")) {
        result = *injected;
    } else if (!source || !destination || source == destination || filter > kFilterLinear ||
               source->GetPool() != kPoolDefault || destination->GetPool() != kPoolDefault ||
               IsDepthFormat(source->Format()) || IsDepthFormat(destination->Format()) ||
               destination->MultiSampleType() >= 2 || source->IsLocked() || destination->IsLocked() ||
               (destination->Container() && (destination->GetUsage() & kUsageRenderTarget) == 0) ||
               (source->Container() &&
                (detail::Adapter().caps.devCaps2 & kDevCaps2CanStretchRectFromTextures) == 0) ||
               !ResolveRect(sourceRect, source->Width(), source->Height(), source->Format(), from) ||
               !ResolveRect(destinationRect, destination->Width(), destination->Height(), destination->Format(), to) ||
               !CanStretchCopy(source->Format(), destination->Format())) {
        result = kInvalidCall;
    } else {
        backend_->Stretch(source, from, destination, to, filter);
    }
    detail::RecordCall("StretchRect",
                       {detail::Arg(source), detail::Arg(destination), static_cast<uint64_t>(uint32_t(to.left)),
                        static_cast<uint64_t>(uint32_t(to.top)), static_cast<uint64_t>(uint32_t(to.right)),
                        static_cast<uint64_t>(uint32_t(to.bottom)), filter},
                       result);
    return result;
}

Result Device::Clear(uint32_t count, const Rect* rects, uint32_t flags, uint32_t colour, float z, uint32_t stencil)
{
    Result result = kOk;
    const bool target = (flags & kClearTarget) != 0;
    const bool depth = (flags & kClearZBuffer) != 0;
    const bool stencilToo = (flags & kClearStencil) != 0;
    if (auto injected = Injected("Clear")) {
        result = *injected;
    } else if ((count == 0) != (rects == nullptr) || flags == 0 ||
               (flags & ~(kClearTarget | kClearZBuffer | kClearStencil)) != 0 ||
               ((depth || stencilToo) && !depthStencil_) || (stencilToo && !HasStencil(depthStencil_->Format())) ||
               (depth && !(z >= 0.0f && z <= 1.0f))) {
        result = kInvalidCall;
    } else if (target) {
        uint8_t texel[16];
        for (Surface* surface : renderTargets_) {
            if (surface && PackColour(surface->Format(), colour, texel) == 0) result = kInvalidCall;
        }
    }
    if (Succeeded(result)) {
        const Rect view{static_cast<int32_t>(viewport_.x), static_cast<int32_t>(viewport_.y),
                        static_cast<int32_t>(viewport_.x + viewport_.width),
                        static_cast<int32_t>(viewport_.y + viewport_.height)};
        backend_->Clear({.targets = &renderTargets_, .depthStencil = depthStencil_, .view = view, .count = count,
                         .rects = rects, .colour = target, .depth = depth, .stencil = stencilToo, .argb = colour,
                         .z = z, .stencilValue = stencil});
    }
    detail::RecordCall("Clear", {count, flags, colour, stencil}, result, {z});
    return result;
}

Result Device::SetRenderState(uint32_t state, uint32_t value)
{
    Result result = kOk;
    if (auto injected = Injected("SetRenderState")) {
        result = *injected;
    } else if (!IsRenderState(state)) {
        result = kInvalidCall;
    } else {
        renderStates_[state] = value;
    }
    detail::RecordCall("SetRenderState", {state, value}, result);
    return result;
}

Result Device::GetRenderState(uint32_t state, uint32_t* value) const
{
    if (!value || !IsRenderState(state)) return kInvalidCall;
    *value = renderStates_[state];
    return kOk;
}

Result Device::SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value)
{
    Result result = kOk;
    if (auto injected = Injected("SetSamplerState")) {
        result = *injected;
    } else if (sampler >= kMaxSamplers || !IsSamplerState(type)) {
        result = kInvalidCall;
    } else {
        states_.samplers[sampler][type] = value;
    }
    detail::RecordCall("SetSamplerState", {sampler, type, value}, result);
    return result;
}

Result Device::GetSamplerState(uint32_t sampler, uint32_t type, uint32_t* value) const
{
    if (!value || sampler >= kMaxSamplers || !IsSamplerState(type)) return kInvalidCall;
    *value = states_.samplers[sampler][type];
    return kOk;
}

Result Device::SetTexture(uint32_t sampler, BaseTexture* texture)
{
    Result result = kOk;
    if (auto injected = Injected("SetTexture")) {
        result = *injected;
    } else if (sampler >= kMaxSamplers) {
        result = kInvalidCall;
    } else if (texture != states_.textures[sampler]) {
        if (texture) texture->AddRef();
        SafeRelease(states_.textures[sampler]);
        states_.textures[sampler] = texture;
    }
    detail::RecordCall("SetTexture", {sampler, detail::Arg(texture)}, result);
    return result;
}

Result Device::GetTexture(uint32_t sampler, BaseTexture** texture)
{
    if (!texture || sampler >= kMaxSamplers) return kInvalidCall;
    *texture = states_.textures[sampler];
    if (*texture) (*texture)->AddRef();
    return kOk;
}

Result Device::SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value)
{
    Result result = kOk;
    if (auto injected = Injected("SetTextureStageState")) {
        result = *injected;
    } else if (stage >= kMaxTextureStages || !IsTextureStageState(type)) {
        result = kInvalidCall;
    } else {
        states_.stages[stage][type] = value;
    }
    detail::RecordCall("SetTextureStageState", {stage, type, value}, result);
    return result;
}

Result Device::GetTextureStageState(uint32_t stage, uint32_t type, uint32_t* value) const
{
    if (!value || stage >= kMaxTextureStages || !IsTextureStageState(type)) return kInvalidCall;
    *value = states_.stages[stage][type];
    return kOk;
}

Result Device::SetTransform(uint32_t state, const Matrix4* matrix)
{
    Result result = kOk;
    if (auto injected = Injected("SetTransform")) {
        result = *injected;
    } else if (!matrix || !IsTransform(state)) {
        result = kInvalidCall;
    } else {
        states_.transforms[state] = *matrix;
    }
    detail::RecordCall("SetTransform", {state}, result);
    return result;
}

Result Device::GetTransform(uint32_t state, Matrix4* matrix) const
{
    if (!matrix || !IsTransform(state)) return kInvalidCall;
    const auto found = states_.transforms.find(state);
    *matrix = found == states_.transforms.end() ? kIdentity : found->second;
    return kOk;
}

Result Device::SetLight(uint32_t index, const Light* light)
{
    Result result = kOk;
    if (auto injected = Injected("SetLight")) {
        result = *injected;
    } else if (!light || light->type < kLightPoint || light->type > kLightDirectional) {
        result = kInvalidCall;
    } else {
        states_.lights[index] = *light;
    }
    detail::RecordCall("SetLight", {index, light ? light->type : 0}, result);
    return result;
}

Result Device::GetLight(uint32_t index, Light* light) const
{
    const auto found = states_.lights.find(index);
    if (!light || found == states_.lights.end()) return kInvalidCall;
    *light = found->second;
    return kOk;
}

Result Device::LightEnable(uint32_t index, bool enable)
{
    Result result = kOk;
    if (auto injected = Injected("LightEnable")) {
        result = *injected;
    } else {
        states_.lights.try_emplace(index);
        states_.lightEnabled[index] = enable;
    }
    detail::RecordCall("LightEnable", {index, enable ? 1u : 0u}, result);
    return result;
}

Result Device::GetLightEnable(uint32_t index, bool* enable) const
{
    if (!enable || !states_.lights.count(index)) return kInvalidCall;
    const auto found = states_.lightEnabled.find(index);
    *enable = found != states_.lightEnabled.end() && found->second;
    return kOk;
}

Result Device::SetMaterial(const Material* material)
{
    Result result = kOk;
    if (auto injected = Injected("SetMaterial")) {
        result = *injected;
    } else if (!material) {
        result = kInvalidCall;
    } else {
        states_.material = *material;
    }
    detail::RecordCall("SetMaterial", {}, result);
    return result;
}

Result Device::GetMaterial(Material* material) const
{
    if (!material) return kInvalidCall;
    *material = states_.material;
    return kOk;
}

namespace {

// `count` registers of `per` values each from `start`, into `registers`.
template <class Register, class Value>
Result SetConstants(const char* name, Register* registers, uint32_t limit, uint32_t start, const Value* values,
                    uint32_t count)
{
    Result result = kOk;
    constexpr size_t per = sizeof(Register) / sizeof(Value);
    if (auto injected = Injected(name)) {
        result = *injected;
    } else if ((!values && count > 0) || start > limit || count > limit - start) {
        result = kInvalidCall;
    } else {
        for (uint32_t r = 0; r < count; ++r)
            std::memcpy(&registers[start + r], values + size_t(r) * per, sizeof(Register));
    }
    detail::RecordCall(name, {start, count}, result);
    return result;
}

} // namespace

Result Device::SetVertexShaderConstantF(uint32_t start, const float* values, uint32_t count)
{
    return SetConstants("SetVertexShaderConstantF", states_.vertexFloats.data(), kVertexFloatConstants, start, values,
                        count);
}

Result Device::SetVertexShaderConstantI(uint32_t start, const int32_t* values, uint32_t count)
{
    return SetConstants("SetVertexShaderConstantI", states_.vertexInts.data(), kIntConstants, start, values, count);
}

Result Device::SetVertexShaderConstantB(uint32_t start, const uint32_t* values, uint32_t count)
{
    return SetConstants("SetVertexShaderConstantB", states_.vertexBools.data(), kBoolConstants, start, values, count);
}

Result Device::SetPixelShaderConstantF(uint32_t start, const float* values, uint32_t count)
{
    return SetConstants("SetPixelShaderConstantF", states_.pixelFloats.data(), kPixelFloatConstants, start, values,
                        count);
}

Result Device::SetPixelShaderConstantI(uint32_t start, const int32_t* values, uint32_t count)
{
    return SetConstants("SetPixelShaderConstantI", states_.pixelInts.data(), kIntConstants, start, values, count);
}

Result Device::SetPixelShaderConstantB(uint32_t start, const uint32_t* values, uint32_t count)
{
    return SetConstants("SetPixelShaderConstantB", states_.pixelBools.data(), kBoolConstants, start, values, count);
}

Result Device::SetNPatchMode(float segments)
{
    Result result = kOk;
    if (auto injected = Injected("SetNPatchMode")) {
        result = *injected;
    } else if (!std::isfinite(segments)) {
        result = kInvalidCall;
    } else {
        states_.nPatchSegments = segments;
    }
    detail::RecordCall("SetNPatchMode", {}, result, {segments});
    return result;
}

Result Device::SetFVF(uint32_t fvf)
{
    Result result = kOk;
    if (auto injected = Injected("SetFVF"))
        result = *injected;
    else
        states_.fvf = fvf;
    detail::RecordCall("SetFVF", {fvf}, result);
    return result;
}

Result Device::GetFVF(uint32_t* fvf) const
{
    if (!fvf) return kInvalidCall;
    *fvf = states_.fvf;
    return kOk;
}

Result Device::SetClipPlane(uint32_t index, const float* plane)
{
    Result result = kOk;
    if (auto injected = Injected("SetClipPlane")) {
        result = *injected;
    } else if (!plane || index >= std::min(kMaxClipPlanes, detail::Adapter().caps.maxUserClipPlanes)) {
        result = kInvalidCall;
    } else {
        std::copy(plane, plane + 4, clipPlanes_[index].begin());
    }
    if (plane) {
        detail::RecordCall("SetClipPlane", {index}, result, {plane[0], plane[1], plane[2], plane[3]});
    } else {
        detail::RecordCall("SetClipPlane", {index}, result);
    }
    return result;
}

Result Device::GetClipPlane(uint32_t index, float* plane) const
{
    if (!plane || index >= kMaxClipPlanes) return kInvalidCall;
    std::copy(clipPlanes_[index].begin(), clipPlanes_[index].end(), plane);
    return kOk;
}

Result Device::SetRenderTarget(uint32_t index, Surface* surface)
{
    Result result = kOk;
    const uint32_t targets = std::min<uint32_t>(static_cast<uint32_t>(renderTargets_.size()),
                                                detail::Adapter().caps.numSimultaneousRTs);
    if (auto injected = Injected("SetRenderTarget")) {
        result = *injected;
    } else if (index >= targets || (index == 0 && !surface) ||
               (surface && (surface->GetUsage() & kUsageRenderTarget) == 0)) {
        result = kInvalidCall;
    } else {
        if (surface) surface->AddRef();
        SafeRelease(renderTargets_[index]);
        renderTargets_[index] = surface;
        if (index == 0) viewport_ = Viewport{0, 0, surface->Width(), surface->Height(), 0.0f, 1.0f};
    }
    detail::RecordCall("SetRenderTarget", {index, detail::Arg(surface)}, result);
    return result;
}

Result Device::GetRenderTarget(uint32_t index, Surface** surface)
{
    if (!surface) return kInvalidCall;
    *surface = nullptr;
    if (index >= renderTargets_.size()) return kInvalidCall;
    if (!renderTargets_[index]) return kNotFound;
    *surface = renderTargets_[index];
    (*surface)->AddRef();
    return kOk;
}

Result Device::SetDepthStencilSurface(Surface* surface)
{
    Result result = kOk;
    if (auto injected = Injected("SetDepthStencilSurface")) {
        result = *injected;
    } else if (surface && (surface->GetUsage() & kUsageDepthStencil) == 0) {
        result = kInvalidCall;
    } else {
        if (surface) surface->AddRef();
        SafeRelease(depthStencil_);
        depthStencil_ = surface;
    }
    detail::RecordCall("SetDepthStencilSurface", {detail::Arg(surface)}, result);
    return result;
}

Result Device::GetDepthStencilSurface(Surface** surface)
{
    if (!surface) return kInvalidCall;
    *surface = depthStencil_;
    if (!depthStencil_) return kNotFound;
    depthStencil_->AddRef();
    return kOk;
}

Result Device::SetViewport(const Viewport* viewport)
{
    Result result = kOk;
    if (auto injected = Injected("SetViewport")) {
        result = *injected;
    } else if (!viewport || !ViewportFits(*viewport, renderTargets_[0])) {
        result = kInvalidCall;
    } else {
        viewport_ = *viewport;
    }
    if (viewport) {
        detail::RecordCall("SetViewport", {viewport->x, viewport->y, viewport->width, viewport->height}, result,
                           {viewport->minZ, viewport->maxZ});
    } else {
        detail::RecordCall("SetViewport", {}, result);
    }
    return result;
}

Result Device::GetViewport(Viewport* viewport) const
{
    if (!viewport) return kInvalidCall;
    *viewport = viewport_;
    return kOk;
}

Result Device::SetStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t offset, uint32_t stride)
{
    Result result = kOk;
    if (auto injected = Injected("SetStreamSource")) {
        result = *injected;
    } else if (stream >= std::min(kMaxStreams, detail::Adapter().caps.maxStreams) || (buffer && offset > buffer->Size())) {
        result = kInvalidCall;
    } else {
        if (buffer) buffer->AddRef();
        SafeRelease(streams_[stream].buffer);
        streams_[stream].buffer = buffer;
        streams_[stream].offset = offset;
        streams_[stream].stride = stride;
    }
    detail::RecordCall("SetStreamSource", {stream, detail::Arg(buffer), offset, stride}, result);
    return result;
}

Result Device::GetStreamSource(uint32_t stream, VertexBuffer** buffer, uint32_t* offset, uint32_t* stride)
{
    if (stream >= kMaxStreams || !buffer || !offset || !stride) return kInvalidCall;
    *buffer = streams_[stream].buffer;
    if (*buffer) (*buffer)->AddRef();
    *offset = streams_[stream].offset;
    *stride = streams_[stream].stride;
    return kOk;
}

Result Device::SetStreamSourceFreq(uint32_t stream, uint32_t frequency)
{
    Result result = kOk;
    const bool indexed = (frequency & kStreamIndexedData) != 0;
    const bool instance = (frequency & kStreamInstanceData) != 0;
    if (auto injected = Injected("SetStreamSourceFreq")) {
        result = *injected;
    } else if (stream >= kMaxStreams || (indexed && instance) || (frequency & kFrequencyCount) == 0 ||
               (stream == 0 && instance)) {
        result = kInvalidCall;
    } else {
        streams_[stream].frequency = frequency;
    }
    detail::RecordCall("SetStreamSourceFreq", {stream, frequency}, result);
    return result;
}

Result Device::GetStreamSourceFreq(uint32_t stream, uint32_t* frequency) const
{
    if (stream >= kMaxStreams || !frequency) return kInvalidCall;
    *frequency = streams_[stream].frequency;
    return kOk;
}

Result Device::SetVertexDeclaration(VertexDeclaration* declaration)
{
    Result result = kOk;
    if (auto injected = Injected("SetVertexDeclaration")) {
        result = *injected;
    } else {
        if (declaration) declaration->AddRef();
        SafeRelease(declaration_);
        declaration_ = declaration;
    }
    detail::RecordCall("SetVertexDeclaration", {detail::Arg(declaration)}, result);
    return result;
}

Result Device::GetVertexDeclaration(VertexDeclaration** declaration)
{
    if (!declaration) return kInvalidCall;
    *declaration = declaration_;
    if (declaration_) declaration_->AddRef();
    return kOk;
}

Result Device::SetIndices(IndexBuffer* indices)
{
    Result result = kOk;
    if (auto injected = Injected("SetIndices")) {
        result = *injected;
    } else {
        if (indices) indices->AddRef();
        SafeRelease(indices_);
        indices_ = indices;
    }
    detail::RecordCall("SetIndices", {detail::Arg(indices)}, result);
    return result;
}

Result Device::GetIndices(IndexBuffer** indices)
{
    if (!indices) return kInvalidCall;
    *indices = indices_;
    if (indices_) indices_->AddRef();
    return kOk;
}

Result Device::BeginScene()
{
    Result result = kOk;
    if (auto injected = Injected("BeginScene")) {
        result = *injected;
    } else if (inScene_) {
        result = kInvalidCall;
    } else {
        inScene_ = true;
    }
    detail::RecordCall("BeginScene", {}, result);
    return result;
}

Result Device::EndScene()
{
    Result result = kOk;
    if (auto injected = Injected("EndScene")) {
        result = *injected;
    } else if (!inScene_) {
        result = kInvalidCall;
    } else {
        inScene_ = false;
        backend_->Pause();
    }
    detail::RecordCall("EndScene", {}, result);
    return result;
}

Result Device::Present()
{
    Result result = kOk;
    if (auto injected = Injected("Present")) {
        result = *injected;
        if (result == kDeviceLost) lost_ = true; // stays lost: nothing here resets a device
    } else if (lost_) {
        result = kDeviceLost;
    } else if (inScene_) {
        result = kInvalidCall;
    } else {
        // The first frame is reported at once, so a watcher knows frames are coming.
        if (++frames_ == 1) WriteFrameReport(frames_);
        backend_->Present(backBuffer_);
        pacer_.WaitForRefresh();
    }
    detail::RecordCall("Present", {}, result);
    return result;
}

Result Device::ValidateDraw(uint32_t type, int32_t baseVertexIndex, uint32_t minVertexIndex, uint32_t numVertices,
                            uint32_t startIndex, uint32_t primitiveCount, uint32_t& instances, bool& unboundRead) const
{
    instances = 1;
    unboundRead = false;
    if (!inScene_ || type < kPrimitivePointList || type > kPrimitiveTriangleFan) return kInvalidCall;
    if (!declaration_ || !streams_[0].buffer || !indices_ || !effect_) return kInvalidCall;
    const uint64_t indexCount = IndicesForPrimitives(type, primitiveCount);
    if ((uint64_t{startIndex} + indexCount) * indices_->IndexSize() > indices_->Size()) return kInvalidCall;
    const int64_t firstVertex = int64_t{baseVertexIndex} + minVertexIndex;
    if (firstVertex < 0) return kInvalidCall;
    const StreamBinding& vertices = streams_[0];
    if (vertices.stride != 0 && primitiveCount != 0 &&
        vertices.offset + static_cast<uint64_t>(firstVertex + numVertices) * vertices.stride > vertices.buffer->Size()) {
        return kInvalidCall;
    }
    if ((vertices.frequency & kStreamIndexedData) != 0) instances = vertices.frequency & kFrequencyCount;
    for (uint32_t stream = 1; stream < kMaxStreams; ++stream) {
        if (!declaration_->ReadsStream(stream)) continue;
        const StreamBinding& source = streams_[stream];
        const bool perInstance = (vertices.frequency & kStreamIndexedData) != 0 &&
                                 (source.frequency & kStreamInstanceData) != 0;
        if (!source.buffer) {
            if (perInstance) return kInvalidCall; // instanced data must come from somewhere
            unboundRead = true;
            continue;
        }
        if (perInstance && source.offset + uint64_t{instances} * source.stride > source.buffer->Size()) {
            return kInvalidCall;
        }
    }
    return kOk;
}

Result Device::DrawIndexedPrimitive(uint32_t type, int32_t baseVertexIndex, uint32_t minVertexIndex,
                                    uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount)
{
    uint32_t instances = 1;
    bool unboundRead = false;
    Result result = kOk;
    if (auto injected = Injected("DrawIndexedPrimitive")) {
        result = *injected;
    } else {
        result = ValidateDraw(type, baseVertexIndex, minVertexIndex, numVertices, startIndex, primitiveCount, instances,
                              unboundRead);
    }
    // A pass whose shaders do not link here draws nothing, and says so.
    if (Succeeded(result) &&
        !backend_->Draw({.primitiveType = type, .baseVertexIndex = baseVertexIndex, .startIndex = startIndex,
                         .primitiveCount = primitiveCount, .instances = instances, .targets = &renderTargets_,
                         .depthStencil = depthStencil_, .viewport = &viewport_, .renderStates = renderStates_.data(),
                         .states = &states_, .streams = &streams_, .declaration = declaration_, .indices = indices_,
                         .effect = effect_}))
        result = kInvalidCall;
    detail::RecordCall("DrawIndexedPrimitive",
                       {type, static_cast<uint64_t>(static_cast<int64_t>(baseVertexIndex)), minVertexIndex, numVertices,
                        startIndex, primitiveCount},
                       result);
    if (Succeeded(result) && detail::Recording()) {
        RecordedDraw record;
        record.primitiveType = type;
        record.baseVertexIndex = baseVertexIndex;
        record.minVertexIndex = minVertexIndex;
        record.numVertices = numVertices;
        record.startIndex = startIndex;
        record.primitiveCount = primitiveCount;
        record.instanceCount = instances;
        record.unboundStreamRead = unboundRead;
        for (size_t i = 0; i < renderTargets_.size(); ++i) record.renderTargets[i] = renderTargets_[i];
        record.depthStencil = depthStencil_;
        record.viewport = viewport_;
        for (uint32_t i = 0; i < kRecordedStreams; ++i) {
            record.streams[i] = StreamRecord{streams_[i].buffer, streams_[i].offset, streams_[i].stride,
                                             streams_[i].frequency};
        }
        record.declaration = declaration_;
        record.indices = indices_;
        record.renderStates = renderStates_;
        record.effect = *effect_;
        record.frame = frames_;
        detail::RecordDraw(std::move(record));
    }
    return result;
}

void Device::BindEffect(const EffectBinding* binding)
{
    effect_ = binding;
    detail::RecordCall("BindEffect", {detail::Arg(binding)}, kOk);
}

Result Device::GetPresentParameters(PresentParameters* parameters) const
{
    if (!parameters) return kInvalidCall;
    *parameters = parameters_;
    return kOk;
}

Result Device::GetDeviceCaps(Caps* caps) const
{
    if (!caps) return kInvalidCall;
    *caps = detail::Adapter().caps;
    return kOk;
}

} // namespace gfx
