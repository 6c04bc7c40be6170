#include "platform/gfx/raster/gl_backend.h"

#include <iostream>
#include <mutex>
#include <string>

#include "platform/gfx/device/buffer.h"
#include "platform/gfx/device/effect_binding.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/hooks.h"
#include "platform/gfx/device/pass_program.h"
#include "platform/gfx/device/surface.h"
#include "platform/gfx/device/vertex_layout.h"
#include "platform/gfx/raster/gfx_mode.h"
#include "platform/window/screen.h"

namespace gfx::raster {

std::unique_ptr<GlBackend> GlBackend::Create(platform::Window* presentWindow)
{
    std::string why;
    const auto screen = platform::ScreenOf(presentWindow);
    if (screen && screen->x11Window && !detail::Hooks::Get().windowFromMemory) {
        const GlWindow window{screen->x11Display, static_cast<uint32_t>(screen->x11Window)};
        if (std::unique_ptr<RasterDevice> raster = RasterDevice::Create(CapturePath(), why, &window)) {
            std::unique_ptr<GlBackend> backend(new GlBackend(presentWindow, std::move(raster)));
            // The window system lets go of the window only after the drawing path did.
            RasterDevice* drawing = backend->raster_.get();
            backend->screenWatch_ = platform::WatchScreen(presentWindow, [drawing] { drawing->LeaveWindow(); });
            backend->onWindow_ = true;
            return backend;
        }
        static std::once_flag told;
        std::call_once(told, [&] { std::cout << "Graphics: " << why << "; frames reach the window from memory.\n"; });
    }
    if (std::unique_ptr<RasterDevice> raster = RasterDevice::Create(CapturePath(), why))
        return std::unique_ptr<GlBackend>(new GlBackend(presentWindow, std::move(raster)));
    static std::once_flag told;
    std::call_once(told, [&] { std::cout << "Graphics: " << why << "; frames are recorded, not drawn.\n"; });
    return nullptr;
}

GlBackend::GlBackend(platform::Window* presentWindow, std::unique_ptr<RasterDevice> raster)
    : Backend(presentWindow), raster_(std::move(raster))
{
}

GlBackend::~GlBackend()
{
    if (screenWatch_)
        platform::UnwatchScreen(screenWatch_);
    // The drawing path goes last, writing the last frame's picture if one is wanted.
}

void GlBackend::Closing()
{
    raster_->Pause();
    if (screenWatch_)
        platform::UnwatchScreen(screenWatch_);
    screenWatch_ = 0;
}

ImageView GlBackend::ImageOf(Resource* owner)
{
    ImageView view;
    if (!owner)
        return view;
    view.key = owner;
    view.version = owner->ContentVersion();
    if (owner->GetType() == kResourceSurface) {
        auto* surface = static_cast<Surface*>(owner);
        TextureLayout& layout = surfaceLayouts_[surface];
        if (layout.subresources.empty()) {
            layout.type = kResourceTexture;
            layout.width = surface->Width();
            layout.height = surface->Height();
            layout.levels = layout.reportedLevels = 1;
            layout.format = surface->Format();
            layout.usage = surface->GetUsage();
            TextureLayout::Subresource sub;
            sub.width = surface->Width();
            sub.height = surface->Height();
            sub.rowPitch = Pitch(*surface);
            sub.slicePitch = sub.size = LevelSize(surface->Format(), surface->Width(), surface->Height());
            layout.subresources.push_back(sub);
            layout.totalBytes = sub.size;
        }
        view.layout = &layout;
        view.bytes = Bits(*surface);
    } else {
        auto* texture = static_cast<BaseTexture*>(owner);
        view.layout = &Layout(*texture);
        view.bytes = Bytes(*texture);
    }
    return view;
}

TargetView GlBackend::TargetOf(Surface* surface)
{
    TargetView target;
    if (!surface)
        return target;
    if (BaseTexture* container = surface->Container()) {
        target.image = ImageOf(container);
        target.face = surface->Face();
        target.level = surface->Level();
    } else {
        target.image = ImageOf(surface);
    }
    return target;
}

void GlBackend::Clear(const ClearCall& call)
{
    ClearView clear;
    for (size_t i = 0; i < call.targets->size(); ++i)
        clear.targets[i] = TargetOf((*call.targets)[i]);
    clear.depth = TargetOf(call.depthStencil);
    for (uint32_t i = 0; i < call.Areas(); ++i)
        clear.areas.push_back(call.Area(i));
    clear.colour = call.colour;
    clear.clearDepth = call.depth;
    clear.clearStencil = call.stencil;
    clear.argb = call.argb;
    clear.z = call.z;
    clear.stencil = call.stencilValue;
    raster_->Clear(clear);
}

void GlBackend::Stretch(Surface* source, const Rect& from, Surface* destination, const Rect& to, uint32_t filter)
{
    raster_->Stretch(TargetOf(source), from, TargetOf(destination), to, filter == kFilterLinear);
}

bool GlBackend::Draw(const DrawCall& call)
{
    DrawView draw;
    draw.primitiveType = call.primitiveType;
    draw.baseVertexIndex = call.baseVertexIndex;
    draw.startIndex = call.startIndex;
    draw.primitiveCount = call.primitiveCount;
    draw.instances = call.instances;
    for (size_t i = 0; i < call.targets->size(); ++i)
        draw.targets[i] = TargetOf((*call.targets)[i]);
    draw.depth = TargetOf(call.depthStencil);
    draw.viewport = *call.viewport;
    draw.renderStates = call.renderStates;
    for (uint32_t s = 0; s < kMaxStreams; ++s) {
        const StreamBinding& stream = (*call.streams)[s];
        if (stream.buffer) {
            draw.streams[s].buffer = {stream.buffer, stream.buffer->ContentVersion(), Bytes(*stream.buffer),
                                      stream.buffer->Size()};
        }
        draw.streams[s].offset = stream.offset;
        draw.streams[s].stride = stream.stride;
        draw.streams[s].frequency = stream.frequency;
    }
    draw.elements = &call.declaration->Elements();
    draw.indices = {call.indices, call.indices->ContentVersion(), Bytes(*call.indices), call.indices->Size()};
    draw.indexSize = call.indices->IndexSize();
    draw.binding = call.effect;
    draw.program = call.effect->program;
    draw.states = call.states;
    if (draw.program) {
        for (const SamplerSlot& slot : draw.program->samplers)
            for (uint32_t unit = slot.unit;
                 unit - slot.unit < slot.units && unit < kMaxTextureUnits && unit < kMaxSamplers; ++unit)
                if (call.states->textures[unit])
                    draw.textures[unit] = ImageOf(call.states->textures[unit]);
    }
    return raster_->Draw(draw);
}

void GlBackend::GenerateMips(Resource* texture)
{
    raster_->GenerateMips(ImageOf(texture));
}

void GlBackend::SyncToCpu(Resource* resource)
{
    if (raster_->GpuNewer(resource) && resource->GetType() != kResourceVertexBuffer &&
        resource->GetType() != kResourceIndexBuffer)
        raster_->ReadBack(ImageOf(resource));
}

void GlBackend::Forget(const Resource* resource)
{
    raster_->Forget(resource);
    surfaceLayouts_.erase(resource);
}

void GlBackend::Present(Surface* backBuffer)
{
    if (onWindow_) {
        // Into the window on the GPU while it is there; once it closed, nowhere.
        raster_->Present(ImageOf(backBuffer));
        return;
    }
    // A real window shows the frame from memory: what the GPU drew comes back first.
    const bool shown = platform::HasScreen(presentWindow_);
    if (shown)
        SyncToCpu(backBuffer);
    raster_->Present(ImageOf(backBuffer));
    if (shown)
        ShowFromMemory(backBuffer);
}

} // namespace gfx::raster
