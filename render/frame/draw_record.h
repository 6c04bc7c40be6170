#pragma once
// What the scene renderer draws from: a DrawRecord describes one mesh subset
// (its buffers, declaration, strides, counts and effect), filled once by the
// first node that draws it and shared by every node drawing that subset; the
// renderer writes the figures of the instanced batch it heads into it. A
// LightRecord is one light of the frame light list.
#include <cstdint>

#include "kernel/math/float4.h"

namespace gfx {
class IndexBuffer;
class GpuQuery;
class VertexBuffer;
class VertexDeclaration;
} // namespace gfx

class Effect;
struct RenderTargetRecord;

// Flags byte. The instance's element (4,4) receives its element (1,1).
inline constexpr uint8_t kDrawRecordScaleInW = 0x02;
// The instance's element (4,4) receives its index in the batch.
inline constexpr uint8_t kDrawRecordIndexInW = 0x04;
// A batch is drawn with the renderer's own transform as its world matrix.
inline constexpr uint8_t kDrawRecordRendererWorld = 0x08;
// Batching of a queue stops at this record: it and every later entry are drawn singly.
inline constexpr uint8_t kDrawRecordNoInstancing = 0x10;
// The record brings its own instance data (count, buffer, offset set by its
// owner): a queue headed by one is neither reset nor batched.
inline constexpr uint8_t kDrawRecordOwnInstances = 0x20;
inline constexpr uint8_t kDrawRecordDefaultFlags = kDrawRecordScaleInW | kDrawRecordRendererWorld;

// A query issued around the draws of a record, counted for one target (null: any).
struct DrawQuery {
    gfx::GpuQuery* query = nullptr;
    RenderTargetRecord* target = nullptr;
};

struct DrawRecord {
    uint8_t enabled = 1;
    uint8_t filled = 0;
    gfx::VertexBuffer* vertexBuffer = nullptr;
    gfx::VertexDeclaration* declaration = nullptr;
    uint32_t vertexStride = 0;
    uint32_t instanceStride = 0; // the per-instance world matrix
    uint32_t vertexCount = 0;
    uint8_t primitiveKind = 0; // 3 triangles, 2 lines
    gfx::IndexBuffer* indexBuffer = nullptr;
    uint32_t primitiveCount = 0;
    Effect* effect = nullptr; // the payload of the subset's material
    // The batch figures: > 0 draws that many instances from instanceBuffer at
    // instanceOffset; 0 draws once leaving the instance stream as it
    // is; < 0 draws once with instancing switched off.
    int32_t instanceCount = 0;
    gfx::VertexBuffer* instanceBuffer = nullptr;
    uint32_t instanceOffset = 0;
    uint8_t flags = kDrawRecordDefaultFlags;
    DrawQuery* query = nullptr; // not owned
};

// Light types the frame renderer reads.
inline constexpr uint32_t kLightAmbient = 0;
inline constexpr uint32_t kLightDirectional = 1;
inline constexpr uint32_t kLightFog = 4;

struct alignas(16) LightRecord {
    float4 colour;
    float4 direction;
    uint32_t lightType = 0;
    uint8_t lightFlag = 0;
};
