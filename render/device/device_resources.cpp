// The render device's accounted creations and releases of graphics objects.
#include "render/device/device_resources.h"

#include <cstdint>
#include <iostream>

#include "kernel/error_stream.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/resource_flags.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "render/device/render_device.h"

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

// A failed buffer creation is reported and the meter still reads the memory
// in use again and counts the change (the operation answers it true); the
// result tells the caller whether there is a buffer.
template <class Buffer>
bool ReportBufferResult(gfx::Result result, Buffer** buffer, const char* message)
{
    if (result == gfx::kOk)
        return true;
    *buffer = nullptr;
    ReportError(message);
    return false;
}

} // namespace

uint32_t DeviceResources::MultisampleType() const
{
    const uint32_t antialiasing = owner_.Graphics().antialiasing;
    return antialiasing == kAntialiasingCsaa ? gfx::kMultisample8Samples : antialiasing;
}

uint32_t DeviceResources::MultisampleQuality() const
{
    return owner_.Graphics().antialiasing == kAntialiasingCsaa ? 2 : 0;
}

float DeviceResources::BytesPerTexel(uint32_t format) const
{
    const auto entry = bytesPerTexel.find(format);
    return entry != bytesPerTexel.end() && entry->second != 0.0f ? entry->second : 4.0f;
}

bool DeviceResources::CreateRenderTexture(gfx::Texture** texture, uint16_t width, uint16_t height, uint32_t format,
                                          uint32_t usage, uint32_t pool, uint16_t levels)
{
    return owner_.Memory().AccountVideoMemory(VideoMemoryKind::Texture, [&] {
        gfx::Device* device = owner_.Device();
        const gfx::Result result = owner_.KeepResult(
            device ? device->CreateTexture(width, height, levels, usage, format, pool, texture) : gfx::kInvalidCall);
        if (result != gfx::kOk) {
            *texture = nullptr;
            errorTwoLines = false;
            GetErrorStream() << "Can't create render texture! " << gfx::DescribeResult(result) << "\n";
            return false;
        }
        return true;
    });
}

bool DeviceResources::CreateDepthStencilSurface(gfx::Surface** surface, uint16_t width, uint16_t height,
                                                uint32_t format, uint8_t multisampled)
{
    const bool sampled = multisampled != 0 || surface == &owner_.Targets().BackBufferTarget().depthStencil;
    return owner_.Memory().AccountVideoMemory(VideoMemoryKind::Surface, [&] {
        gfx::Device* device = owner_.Device();
        const gfx::Result result = owner_.KeepResult(
            device ? device->CreateDepthStencilSurface(width, height, format, sampled ? MultisampleType() : 0,
                                                       sampled ? MultisampleQuality() : 0, true, surface)
                   : gfx::kInvalidCall);
        if (result != gfx::kOk) {
            *surface = nullptr;
            ReportError("Failed to create DSS.\n");
            return false;
        }
        return true;
    });
}

bool DeviceResources::CreateIndexBuffer(gfx::IndexBuffer** buffer, uint32_t count, uint8_t bytesPerIndex,
                                        uint32_t usage)
{
    bool made = false;
    owner_.Memory().AccountVideoMemory(VideoMemoryKind::IndexBuffer, [&] {
        gfx::Device* device = owner_.Device();
        uint32_t bytes = 0;
        gfx::Result result = gfx::kInvalidCall;
        if (device && BufferBytes(count, bytesPerIndex, bytes)) {
            const uint32_t format = bytesPerIndex == 4 ? gfx::kFormatIndex32 : gfx::kFormatIndex16;
            result = device->CreateIndexBuffer(bytes, usage, format, gfx::kPoolDefault, buffer);
        }
        made = ReportBufferResult(owner_.KeepResult(result), buffer, "Error creating index buffer.\n");
        return true;
    });
    return made;
}

bool DeviceResources::CreateVertexBuffer(gfx::VertexBuffer** buffer, uint32_t count, uint32_t stride,
                                         uint32_t usage)
{
    bool made = false;
    owner_.Memory().AccountVideoMemory(VideoMemoryKind::VertexBuffer, [&] {
        gfx::Device* device = owner_.Device();
        uint32_t bytes = 0;
        gfx::Result result = gfx::kInvalidCall;
        if (device && BufferBytes(count, stride, bytes))
            result = device->CreateVertexBuffer(bytes, usage, 0, gfx::kPoolDefault, buffer);
        made = ReportBufferResult(owner_.KeepResult(result), buffer, "Error creating vertex buffer.\n");
        return true;
    });
    return made;
}

bool DeviceResources::CreateRenderTarget(gfx::Surface** surface, uint16_t width, uint16_t height, uint32_t format,
                                         uint8_t multisampled)
{
    const bool sampled = multisampled != 0;
    return owner_.Memory().AccountVideoMemory(VideoMemoryKind::Surface, [&] {
        gfx::Device* device = owner_.Device();
        const gfx::Result result = owner_.KeepResult(
            device ? device->CreateRenderTarget(width, height, format, sampled ? MultisampleType() : 0,
                                                sampled ? MultisampleQuality() : 0, false, surface)
                   : gfx::kInvalidCall);
        if (result != gfx::kOk) {
            *surface = nullptr;
            std::cout << "Failed to create RenderTarget!\n";
            return false;
        }
        return true;
    });
}

bool DeviceResources::CreateOffscreenSurface(gfx::Surface** surface, uint16_t width, uint16_t height,
                                             uint32_t format, uint32_t pool)
{
    return owner_.Memory().AccountVideoMemory(VideoMemoryKind::Surface, [&] {
        gfx::Device* device = owner_.Device();
        const gfx::Result result = owner_.KeepResult(
            device ? device->CreateOffscreenPlainSurface(width, height, format, pool, surface) : gfx::kInvalidCall);
        if (result != gfx::kOk) {
            *surface = nullptr;
            std::cout << "Failed to create Offscreen-surface!\n";
            return false;
        }
        return true;
    });
}

bool DeviceResources::GetSurfaceLevelChecked(uint16_t level, gfx::Texture* texture, gfx::Surface** surface)
{
    if (owner_.KeepResult(texture ? texture->GetSurfaceLevel(level, surface) : gfx::kInvalidCall) != gfx::kOk) {
        *surface = nullptr;
        std::cout << "Failed to get surface level.\n";
        return false;
    }
    return true;
}

void DeviceResources::ReleaseAccounted(gfx::Resource* object, VideoMemoryKind kind)
{
    if (!object)
        return;
    owner_.Memory().AccountVideoMemory(kind, [object] {
        object->Release();
        return true;
    });
}

void DeviceResources::ReleaseSurface(gfx::Surface* surface) { ReleaseAccounted(surface, VideoMemoryKind::Surface); }

void DeviceResources::ReleaseTexture(gfx::BaseTexture* texture)
{
    ReleaseAccounted(texture, VideoMemoryKind::Texture);
}

void DeviceResources::ReleaseVertexBuffer(gfx::VertexBuffer* buffer)
{
    ReleaseAccounted(buffer, VideoMemoryKind::VertexBuffer);
}

void DeviceResources::ReleaseIndexBuffer(gfx::IndexBuffer* buffer)
{
    ReleaseAccounted(buffer, VideoMemoryKind::IndexBuffer);
}

void DeviceResources::ReleaseEffect(gfx::RuntimeEffect* effect)
{
    if (!effect)
        return;
    owner_.Memory().AccountVideoMemory(VideoMemoryKind::Effect, [effect] {
        delete effect;
        return true;
    });
}
