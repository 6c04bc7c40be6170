#pragma once
// The resource handles of mesh geometry: vertex declarations, vertex buffers
// and index buffers (one mesh subset each, with the material it is drawn with
// and the vertex count of the set it indexes). Their Serialize reads and writes
// the nested items of a mesh file and refuses what would not fit: counts whose
// bytes overflow or pass the end of the file, declarations longer than a
// declaration holds, index values past the vertices.
#include <cstdint>
#include <string>

#include "kernel/resource_types.h"
#include "render/index_buffer.h"
#include "render/material.h"
#include "render/vertex_buffer.h"
#include "render/vertex_declaration.h"

class Archive;

class VertexDeclResource : public ResourceObject<VertexDeclResource, VertexDeclData, kVertexDeclFormatVersion> {
public:
    // Element count, 8-byte elements, usage-offset count, (usage, offset) pairs.
    void Serialize(Archive& archive) override;
    // A declaration loaded by name is only named: its elements are added after.
    void DoLoad(const std::string& name) override;
    bool DoUnload() override;
};

class VertexBufferResource
    : public ResourceObject<VertexBufferResource, VertexBufferData, kVertexBufferFormatVersion> {
public:
    // Vertex count, stride, then count x stride vertex bytes.
    void Serialize(Archive& archive) override;
    void DoLoad(const std::string& name) override;
    bool DoUnload() override;

    void* lockedMemory = nullptr;
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
    void DoLoad(const std::string& name) override;
    bool DoUnload() override;

    void* lockedIndices = nullptr;
    MaterialResource material;
    uint32_t vertexCount = 0; // of the vertex set indexed; set before reading
};

// For readers of nested items: reports `why` as a damaged resource file and
// makes a reading archive count as damaged, so the load is refused.
void RefuseResourceRead(Archive& archive, const std::string& why);

// The bytes a reading archive still holds; writing archives report no limit.
uint64_t ArchiveBytesLeft(Archive& archive);
