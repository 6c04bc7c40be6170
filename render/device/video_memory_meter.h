#pragma once
// Video-memory accounting, the render device's meter: it reads the video
// memory in use through DirectDraw and keeps one counter per kind of graphics
// object, moved by the change each accounted creation or release makes.
#include <cstdint>

#include "platform/gfx/device/direct_draw.h"

// The video-memory counters, one for each kind of accounted object.
enum class VideoMemoryKind : uint8_t { Texture, VertexBuffer, IndexBuffer, Surface, Effect };

class VideoMemoryMeter {
public:
    VideoMemoryMeter() = default;
    VideoMemoryMeter(const VideoMemoryMeter&) = delete;
    VideoMemoryMeter& operator=(const VideoMemoryMeter&) = delete;

    // The DirectDraw objects that read the video memory in use (the first
    // steps of InitDirectDraw); failures go to the error stream.
    void OpenVideoMemoryReading();
    // Releases them; ReleaseDevice does.
    void CloseVideoMemoryReading();

    // Video memory in use (total minus free); 0 after "Failed to get busy video memory."
    uint32_t GetBusyVideoMemory();

    // One accounted operation: reads the video memory in use, runs `operation`
    // and, when it returns true, reads again and adds the change to `kind`'s
    // counter. A false return (a failed creation) reads no second time. Every
    // creation and release of a graphics object goes through here.
    template <class Operation>
    bool AccountVideoMemory(VideoMemoryKind kind, Operation&& operation)
    {
        videoMemoryBefore = GetBusyVideoMemory();
        if (!operation())
            return false;
        AddVideoMemoryChange(kind);
        return true;
    }

    // The counter of one kind, in bytes (signed: a release may give back more
    // than was counted).
    int32_t VideoMemory(VideoMemoryKind kind) const;
    // Video memory in use when InitDirectDraw ran.
    uint32_t VideoMemoryAtStart() const { return videoMemoryAtStart; }
    const gfx::SurfaceCaps& VideoMemoryCaps() const { return videoMemoryCaps; }

private:
    friend class RenderDevice; // InitDirectDraw takes the reading at start

    // After one accounted operation: adds the change since videoMemoryBefore to `kind`'s counter.
    void AddVideoMemoryChange(VideoMemoryKind kind);
    static int32_t VideoMemoryMeter::*CounterOf(VideoMemoryKind kind);

    gfx::DirectDraw* directDraw = nullptr;
    gfx::DirectDraw7* directDraw7 = nullptr;
    gfx::SurfaceCaps videoMemoryCaps;
    uint32_t videoMemoryBefore = 0;
    uint32_t videoMemoryAtStart = 0;
    int32_t textureMemory = 0;
    int32_t vertexBufferMemory = 0;
    int32_t indexBufferMemory = 0;
    int32_t surfaceMemory = 0;
    int32_t effectMemory = 0;
};
