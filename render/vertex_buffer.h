#pragma once
// Vertex buffers: the block owns one device vertex buffer with its vertex
// count and stride (bytes per vertex). Render thread only.
#include <cstdint>

#include "platform/gfx/buffer.h"

struct VertexBufferData {
    VertexBufferData() = default;
    // Releases the buffer when one is still held.
    ~VertexBufferData();
    // A copy takes the figures but no buffer of its own.
    VertexBufferData(const VertexBufferData& other);
    VertexBufferData& operator=(const VertexBufferData& other);

    // Releases the buffer held, then creates one of `count` x `stride` bytes.
    // The figures are stored even when the creation fails (its message is
    // shown); false then, and the buffer is null.
    bool AllocVertexBuffer(uint32_t count, uint32_t stride, uint32_t usage);
    // Locks the whole buffer; null when there is no buffer or the lock failed.
    void* LockVertexBuffer(uint32_t flags);
    void UnlockVertexBuffer();
    // Releases the buffer (accounted) when there is one, once. Always true.
    bool FreeVertexBuffer();

    uint32_t stride = 0;
    gfx::VertexBuffer* buffer = nullptr;
    uint32_t vertexCount = 0;
};
