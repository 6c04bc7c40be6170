#pragma once
// Vertex buffers: the block owns one device vertex buffer with its vertex
// count and stride (bytes per vertex). VertexBufferResource is the named,
// reference-counted handle whose shared block holds one. Render thread only.
#include <cstdint>
#include <string>

#include "kernel/resource_types.h"
#include "platform/gfx/device/buffer.h"

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

class VertexBufferResource
    : public ResourceObject<VertexBufferResource, VertexBufferData, kVertexBufferFormatVersion> {
public:
    // Vertex count, stride, then count x stride vertex bytes.
    void Serialize(Archive& archive) override;
    // Loads nothing: vertex buffers are built by the mesh code or read from files.
    void DoLoad(const std::string& name) override;
    // Releases the buffer; the block may be pooled.
    bool DoUnload() override;

    // The block's operations (VertexBufferData). A handle without a block has
    // nothing to work on: AllocVertexBuffer answers false and the lock null.
    bool AllocVertexBuffer(uint32_t count, uint32_t stride, uint32_t usage);
    // Also kept in lockPointer.
    void* LockVertexBuffer(uint32_t flags);
    void UnlockVertexBuffer();

    void* lockPointer = nullptr; // the address of the last lock
};
