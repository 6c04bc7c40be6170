#pragma once
// Index buffers: one subset of a mesh. The block owns one device index buffer
// of 16- or 32-bit indices and carries the subset's values (filled by the mesh
// code and kept through serialization), the index and primitive counts and the
// indices per primitive. IndexBufferResource is the named, reference-counted
// handle whose shared block holds one. Render thread only.
#include <cstdint>
#include <string>

#include "kernel/math/float4.h"
#include "kernel/resource_types.h"
#include "platform/gfx/device/buffer.h"
#include "render/resources/material.h"

// The most vertices 16-bit indices can address (0 to 65535).
inline constexpr uint32_t kMaxVerticesFor16BitIndices = 65536;

struct IndexBufferData {
    IndexBufferData() = default;
    // Releases the buffer when one is still held.
    ~IndexBufferData();
    // A copy takes the figures but no buffer of its own.
    IndexBufferData(const IndexBufferData& other);
    IndexBufferData& operator=(const IndexBufferData& other);

    // Releases the buffer held, then creates one for `indexCount` indices: 16-bit
    // ones while `vertexCount` fits them, else 32-bit. The counts are stored even
    // when the creation fails (its message is shown); the buffer is then null.
    // True when the indices are 32-bit.
    bool AllocIndexBuffer(uint32_t indexCount, uint32_t vertexCount, uint32_t usage);
    // Locks the whole buffer; null when there is no buffer or the lock failed,
    // so the caller skips filling it.
    void* LockIndexBuffer(uint32_t flags);
    void UnlockIndexBuffer();
    // Releases the buffer (accounted) when there is one. Always true: the block
    // may go back to its pool.
    bool FreeIndexBuffer();

    float4 subsetValues;
    uint32_t indexCount = 0;
    uint32_t primitiveCount = 0;
    uint8_t indexSize = 0; // 2 or 4
    uint8_t indicesPerPrimitive = 3;
    gfx::IndexBuffer* buffer = nullptr;
    float subsetScalar = 0.0f;
};

class IndexBufferResource
    : public ResourceObject<IndexBufferResource, IndexBufferData, kIndexBufferFormatVersion> {
public:
    // Index count, indices per primitive, bounding centre, bounding radius, the
    // index bytes (their size follows from vertexCount), and, at a non-zero
    // format version, the material's id as decimal text. The material is
    // attached again by that id, so it must be loaded before the subset is read
    // (scene files store materials first); text that is no number is a name.
    void Serialize(Archive& archive) override;
    // Releases the buffer; the block may be pooled.
    bool DoUnload() override;

    // The block's operations (IndexBufferData). A handle without a block has
    // nothing to work on: AllocIndexBuffer answers false and the lock null.
    bool AllocIndexBuffer(uint32_t indexCount, uint32_t vertexCount, uint32_t usage);
    // Also kept in lockPointer.
    void* LockIndexBuffer(uint32_t flags);
    void UnlockIndexBuffer();

    void* lockPointer = nullptr; // the address of the last lock
    uint32_t vertexCount = 0;    // of the mesh the subset indexes; set before reading
    MaterialResource material;   // the subset is drawn with
};
