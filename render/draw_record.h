#pragma once
// What the frame renderer draws from: a DrawRecord describes one mesh subset
// (its buffers, declaration, strides, counts and effect), filled once by the
// first node that draws it and shared by every node drawing that subset; a
// LightRecord is one light of the frame light list.
#include <cstdint>

#include "kernel/math/float4.h"

namespace gfx {
class IndexBuffer;
class VertexBuffer;
class VertexDeclaration;
} // namespace gfx

class Effect;

// Flags byte: drawn without instancing.
inline constexpr uint8_t kDrawRecordNoInstancing = 0x10;
// Flags byte: every entry of the array is drawn, each with the record's own instance stream.
inline constexpr uint8_t kDrawRecordOwnInstances = 0x20;

struct DrawRecord {
    uint8_t enabled = 1;
    uint8_t filled = 0;
    gfx::VertexBuffer* vertexBuffer = nullptr;
    gfx::VertexDeclaration* declaration = nullptr;
    uint32_t stride0 = 0;
    uint32_t stride1 = 0; // the per-instance world matrix
    uint32_t vertexCount = 0;
    uint8_t indicesPerPrimitive = 0;
    gfx::IndexBuffer* indexBuffer = nullptr;
    uint32_t primitiveCount = 0;
    Effect* material = nullptr; // the payload of the subset's material
    // The frame renderer's.
    int32_t instanceRunLength = 0;
    gfx::VertexBuffer* instanceBuffer = nullptr;
    uint32_t instanceBufferOffset = 0;
    uint8_t flags = 0x0a;
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
