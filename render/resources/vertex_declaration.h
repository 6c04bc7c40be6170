#pragma once
// Vertex declarations: a list of vertex elements that becomes, on first use
// after a change, a device vertex declaration and the vertex sizes of streams 0
// and 1. Per usage it remembers the offset of the element added last with that
// usage (the usage index is not part of the key). A new declaration already
// holds the per-instance world matrix as four float4 rows in stream 1; meshes
// add their own elements in stream 0. VertexDeclResource is the named,
// reference-counted handle whose shared block holds one. Render thread only.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kernel/resource_types.h"
#include "platform/gfx/device/vertex_layout.h"

inline constexpr uint32_t kVertexDeclStreams = 2;

struct VertexDeclData {
    // The instance matrix rows; elements added 0, stride extra 0, dirty.
    VertexDeclData();
    // Releases the device declaration when one is still held.
    ~VertexDeclData();
    // Copies the elements, usage offsets, strides and extra; the copy holds no
    // device declaration of its own and rebuilds on first use.
    VertexDeclData(const VertexDeclData& other);
    VertexDeclData& operator=(const VertexDeclData& other);

    // Appends an element (the last four are stored as bytes), marks the
    // declaration for rebuilding, and returns its usage's offset entry.
    uint32_t& AddVertexElement(uint16_t stream, uint16_t offset, uint32_t type, uint32_t method, uint32_t usage,
                               uint32_t usageIndex);
    // Empties the element list and the usage offsets; the device declaration
    // stays until the next rebuild.
    void ClearVertexDecl();
    // The element array with its terminator, the strides; the old device
    // declaration is released. Returns the stride of stream 1.
    uint16_t RebuildVertexDecl();
    // Rebuilds when marked; makes the device declaration when there is none.
    // Null when the device could not make it (tried again on the next call).
    gfx::VertexDeclaration* GetVertexDecl();
    // Rebuilds when marked; the vertex size of stream 0 or 1 plus the stride
    // extra. Any other stream is refused with 0.
    uint32_t GetStreamStride(uint32_t stream);
    // Releases the device declaration and frees the element array.
    void Unload();

    gfx::VertexDeclaration* declaration = nullptr;
    std::unique_ptr<gfx::VertexElement[]> elementArray; // elements + terminator
    uint8_t dirty = 1;
    uint8_t elementsAdded = 0;
    std::vector<gfx::VertexElement> elements;
    std::map<uint32_t, uint32_t> usageOffsets;
    uint16_t strides[kVertexDeclStreams] = {0, 0};
    uint32_t strideExtra = 0;
};

class VertexDeclResource : public ResourceObject<VertexDeclResource, VertexDeclData, kVertexDeclFormatVersion> {
public:
    // Element count, 8-byte elements, usage-offset count, (usage, offset) pairs.
    void Serialize(Archive& archive) override;
    // Only names the declaration: its elements come from AddVertexElement or a file.
    void DoLoad(const std::string& name) override;
    // Releases the device declaration and the element array; the block may be pooled.
    bool DoUnload() override;

    // The block's operations (VertexDeclData). A handle without a block has
    // nothing to work on: they change nothing and answer null or 0.
    uint32_t& AddVertexElement(uint16_t stream, uint16_t offset, uint32_t type, uint32_t method, uint32_t usage,
                               uint32_t usageIndex);
    void ClearVertexDecl();
    uint16_t RebuildVertexDecl();
    gfx::VertexDeclaration* GetVertexDecl();
    uint32_t GetStreamStride(uint32_t stream);
};
