#pragma once
// ParticleData: what an emitter's particles share, the payload of the resource
// type ParticleResource: the declaration of the particle quad and its
// per-particle instance stream ("particleVDecl", shared by every particle
// block), the particle count, the instance buffer (per particle four half
// floats: its index and three random values), how the start values are spaced
// (rate) and how long a particle lives, the jitter of the emitter position, the
// three baked curve textures, the draw material and the quad mesh.
#include <cstdint>

#include "kernel/math/float3.h"
#include "kernel/resource_types.h"
#include "render/nodes/mesh_node.h"
#include "render/resources/material.h"
#include "render/resources/vertex_declaration.h"
#include "render/textures/texture_resource.h"

namespace gfx {
class VertexBuffer;
}

inline constexpr char kParticleDeclName[] = "particleVDecl";
// The quad's vertex (position, normal, texture coordinate) and one instance record.
inline constexpr uint32_t kParticleVertexStride = 32;
inline constexpr uint32_t kParticleInstanceStride = 8;

struct alignas(16) ParticleData {
    // Shares "particleVDecl", building it when it is new; a unique material,
    // already loaded.
    ParticleData();
    // Gives back the instance buffer.
    ~ParticleData();
    ParticleData(const ParticleData&) = delete;
    ParticleData& operator=(const ParticleData&) = delete;

    VertexDeclResource vertexDecl;
    uint32_t particleCount = 0;
    gfx::VertexBuffer* instanceBuffer = nullptr; // owned
    void* instanceLock = nullptr;                // while the set-up writes it
    float rate = 1.0f;       // particle i starts with w = -(i x rate)
    float lifetime = 50.0f;
    float3 randomness;       // half-range per axis of the emitter position's jitter
    uint8_t localSpace = 0;  // 1: particles move with the emitter
    TextureResource posMap;
    TextureResource posRndMap;
    TextureResource rotMap;
    MaterialResource material;
    MeshNode quad;           // its mesh draws with vertexDecl
};

class ParticleResource : public ResourceObject<ParticleResource, ParticleData, kParticleFormatVersion> {
public:
    ParticleResource() = default;
    // CopyParticleData: the figures; the target shares the source's curve
    // textures, material and quad mesh. The instance buffer is the source's
    // own: the target makes its own at its set-up.
    void CopyPayloadTo(ResourceObject& target) override;
};

// The type's default handle, made on first use and kept on the global object list.
ParticleResource* GetParticleResourceManager();
