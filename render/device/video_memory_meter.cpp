#include "render/device/video_memory_meter.h"

#include "kernel/error_stream.h"

uint32_t VideoMemoryMeter::GetBusyVideoMemory()
{
    uint32_t total = 0;
    uint32_t free = 0;
    const gfx::Result result =
        directDraw7 ? directDraw7->GetAvailableVidMem(&videoMemoryCaps, &total, &free) : gfx::kNotAvailable;
    if (gfx::Failed(result)) {
        errorTwoLines = false;
        GetErrorStream() << "Failed to get busy video memory.\n";
        return 0;
    }
    return total - free;
}

int32_t VideoMemoryMeter::*VideoMemoryMeter::CounterOf(VideoMemoryKind kind)
{
    switch (kind) {
    case VideoMemoryKind::Texture: return &VideoMemoryMeter::textureMemory;
    case VideoMemoryKind::VertexBuffer: return &VideoMemoryMeter::vertexBufferMemory;
    case VideoMemoryKind::IndexBuffer: return &VideoMemoryMeter::indexBufferMemory;
    case VideoMemoryKind::Surface: return &VideoMemoryMeter::surfaceMemory;
    case VideoMemoryKind::Effect: break;
    }
    return &VideoMemoryMeter::effectMemory;
}

int32_t VideoMemoryMeter::VideoMemory(VideoMemoryKind kind) const
{
    return this->*CounterOf(kind);
}

void VideoMemoryMeter::AddVideoMemoryChange(VideoMemoryKind kind)
{
    const uint32_t after = GetBusyVideoMemory();
    this->*CounterOf(kind) += static_cast<int32_t>(after - videoMemoryBefore);
}

void VideoMemoryMeter::OpenVideoMemoryReading()
{
    videoMemoryCaps = {};
    videoMemoryCaps.caps =
        gfx::kSurfaceCapsVideoMemory | gfx::kSurfaceCapsLocalVideoMemory | gfx::kSurfaceCapsNonLocalVideoMemory;

    if (gfx::CreateDirectDraw(&directDraw) != gfx::kOk) {
        errorTwoLines = false;
        GetErrorStream() << "Can't initialize DirectDraw.\n";
    }
    if (!directDraw || directDraw->QueryDirectDraw7(&directDraw7) != gfx::kOk) {
        errorTwoLines = false;
        GetErrorStream() << "Can't query DirectDraw interface.\n";
    }
}

void VideoMemoryMeter::CloseVideoMemoryReading()
{
    gfx::SafeRelease(directDraw7);
    gfx::SafeRelease(directDraw);
}
