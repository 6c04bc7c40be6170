// The render device's accounted creations and releases of graphics objects.
#include "render/device/video_memory.h"

#include <cstdint>
#include <iostream>

#include "kernel/error_stream.h"
#include "platform/gfx/fx/runtime_effect.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/resource_flags.h"

namespace {

void ReportError(const char* message)
{
    errorTwoLines = false;
    GetErrorStream() << message;
}

// A buffer of more than 4 GiB - 1 bytes cannot be asked for.
bool BufferBytes(uint32_t count, uint32_t size, uint32_t& bytes)
{
    const uint64_t wanted = static_cast<uint64_t>(count) * size;
    if (wanted > UINT32_MAX)
        return false;
    bytes = static_cast<uint32_t>(wanted);
    return true;
}

} // namespace

uint32_t RenderDevice::GetBusyVideoMemory()
{
    uint32_t total = 0;
    uint32_t free = 0;
    const gfx::Result result =
        directDraw7 ? directDraw7->GetAvailableVidMem(&videoMemoryCaps, &total, &free) : gfx::kNotAvailable;
    if (gfx::Failed(result)) {
        ReportError("Failed to get busy video memory.\n");
        return 0;
    }
    return total - free;
}

int32_t RenderDevice::*RenderDevice::CounterOf(VideoMemoryKind kind)
{
    switch (kind) {
    case VideoMemoryKind::Texture: return &RenderDevice::textureMemory;
    case VideoMemoryKind::VertexBuffer: return &RenderDevice::vertexBufferMemory;
    case VideoMemoryKind::IndexBuffer: return &RenderDevice::indexBufferMemory;
    case VideoMemoryKind::Surface: return &RenderDevice::surfaceMemory;
    case VideoMemoryKind::Effect: break;
    }
    return &RenderDevice::effectMemory;
}

int32_t RenderDevice::VideoMemory(VideoMemoryKind kind) const
{
    return this->*CounterOf(kind);
}

void RenderDevice::AddVideoMemoryChange(VideoMemoryKind kind)
{
    const uint32_t after = GetBusyVideoMemory();
    this->*CounterOf(kind) += static_cast<int32_t>(after - videoMemoryBefore);
}

uint32_t RenderDevice::MultisampleType() const
{
    return graphics.antialiasing == kAntialiasingCsaa ? gfx::kMultisample8Samples : graphics.antialiasing;
}

uint32_t RenderDevice::MultisampleQuality() const
{
    return graphics.antialiasing == kAntialiasingCsaa ? 2 : 0;
}

bool RenderDevice::CreateRenderTexture(gfx::Texture** texture, uint16_t width, uint16_t height, uint32_t format,
                                       uint32_t usage, uint32_t pool, uint16_t levels)
{
    return AccountVideoMemory(VideoMemoryKind::Texture, [&] {
        lastResult = device ? device->CreateTexture(width, height, levels, usage, format, pool, texture)
                            : gfx::kInvalidCall;
        if (lastResult != gfx::kOk) {
            *texture = nullptr;
            errorTwoLines = false;
            GetErrorStream() << "Can't create render texture! " << gfx::DescribeResult(lastResult) << "\n";
            return false;
        }
        return true;
    });
}

bool RenderDevice::CreateDepthStencilSurface(gfx::Surface** surface, uint16_t width, uint16_t height,
                                             uint32_t format, uint8_t multisampled)
{
    const bool sampled = multisampled != 0 || surface == &backBufferTarget.depthStencil;
    return AccountVideoMemory(VideoMemoryKind::Surface, [&] {
        lastResult = device ? device->CreateDepthStencilSurface(width, height, format,
                                                                sampled ? MultisampleType() : 0,
                                                                sampled ? MultisampleQuality() : 0, true, surface)
                            : gfx::kInvalidCall;
        if (lastResult != gfx::kOk) {
            *surface = nullptr;
            ReportError("Failed to create DSS.\n");
            return false;
        }
        return true;
    });
}

bool RenderDevice::CreateIndexBuffer(gfx::IndexBuffer** buffer, uint32_t count, uint8_t bytesPerIndex,
                                     uint32_t usage)
{
    return AccountVideoMemory(VideoMemoryKind::IndexBuffer, [&] {
        uint32_t bytes = 0;
        if (!device || !BufferBytes(count, bytesPerIndex, bytes)) {
            lastResult = gfx::kInvalidCall;
        } else {
            const uint32_t format = bytesPerIndex == 4 ? gfx::kFormatIndex32 : gfx::kFormatIndex16;
            lastResult = device->CreateIndexBuffer(bytes, usage, format, gfx::kPoolDefault, buffer);
        }
        if (lastResult != gfx::kOk) {
            *buffer = nullptr;
            ReportError("Error creating index buffer.\n");
            return false;
        }
        return true;
    });
}

bool RenderDevice::CreateVertexBuffer(gfx::VertexBuffer** buffer, uint32_t count, uint32_t stride, uint32_t usage)
{
    return AccountVideoMemory(VideoMemoryKind::VertexBuffer, [&] {
        uint32_t bytes = 0;
        if (!device || !BufferBytes(count, stride, bytes)) {
            lastResult = gfx::kInvalidCall;
        } else {
            lastResult = device->CreateVertexBuffer(bytes, usage, 0, gfx::kPoolDefault, buffer);
        }
        if (lastResult != gfx::kOk) {
            *buffer = nullptr;
            ReportError("Error creating vertex buffer.\n");
            return false;
        }
        return true;
    });
}

bool RenderDevice::CreateRenderTarget(gfx::Surface** surface, uint16_t width, uint16_t height, uint32_t format,
                                      uint8_t multisampled)
{
    const bool sampled = multisampled != 0;
    return AccountVideoMemory(VideoMemoryKind::Surface, [&] {
        lastResult = device ? device->CreateRenderTarget(width, height, format, sampled ? MultisampleType() : 0,
                                                         sampled ? MultisampleQuality() : 0, false, surface)
                            : gfx::kInvalidCall;
        if (lastResult != gfx::kOk) {
            *surface = nullptr;
            std::cout << "Failed to create RenderTarget!\n";
            return false;
        }
        return true;
    });
}

bool RenderDevice::CreateOffscreenSurface(gfx::Surface** surface, uint16_t width, uint16_t height, uint32_t format,
                                          uint32_t pool)
{
    return AccountVideoMemory(VideoMemoryKind::Surface, [&] {
        lastResult = device ? device->CreateOffscreenPlainSurface(width, height, format, pool, surface)
                            : gfx::kInvalidCall;
        if (lastResult != gfx::kOk) {
            *surface = nullptr;
            std::cout << "Failed to create Offscreen-surface!\n";
            return false;
        }
        return true;
    });
}

bool RenderDevice::GetSurfaceLevelChecked(uint16_t level, gfx::Texture* texture, gfx::Surface** surface)
{
    lastResult = texture ? texture->GetSurfaceLevel(level, surface) : gfx::kInvalidCall;
    if (lastResult != gfx::kOk) {
        *surface = nullptr;
        std::cout << "Failed to get surface level.\n";
        return false;
    }
    return true;
}

void RenderDevice::ReleaseAccounted(gfx::Resource* object, VideoMemoryKind kind)
{
    if (!object)
        return;
    AccountVideoMemory(kind, [object] {
        object->Release();
        return true;
    });
}

void RenderDevice::ReleaseSurface(gfx::Surface* surface) { ReleaseAccounted(surface, VideoMemoryKind::Surface); }

void RenderDevice::ReleaseTexture(gfx::BaseTexture* texture) { ReleaseAccounted(texture, VideoMemoryKind::Texture); }

void RenderDevice::ReleaseVertexBuffer(gfx::VertexBuffer* buffer)
{
    ReleaseAccounted(buffer, VideoMemoryKind::VertexBuffer);
}

void RenderDevice::ReleaseIndexBuffer(gfx::IndexBuffer* buffer)
{
    ReleaseAccounted(buffer, VideoMemoryKind::IndexBuffer);
}

void RenderDevice::ReleaseEffect(gfx::Effect* effect)
{
    if (!effect)
        return;
    AccountVideoMemory(VideoMemoryKind::Effect, [effect] {
        delete effect;
        return true;
    });
}
