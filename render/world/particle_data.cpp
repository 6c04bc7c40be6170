#include "render/world/particle_data.h"

#include "platform/gfx/device/buffer.h"
#include "platform/gfx/device/vertex_layout.h"
#include "render/device/render_device.h"

ParticleData::ParticleData()
{
    if (vertexDecl.LoadByName(kParticleDeclName)) {
        // New: the per-particle record in stream 1, then the quad's vertex.
        vertexDecl.ClearVertexDecl();
        vertexDecl.AddVertexElement(1, 0, gfx::kDeclFloat16x4, gfx::kDeclMethodDefault, gfx::kDeclUsageTexcoord, 1);
        vertexDecl.AddVertexElement(0, 0, gfx::kDeclFloat3, gfx::kDeclMethodDefault, gfx::kDeclUsagePosition, 0);
        vertexDecl.AddVertexElement(0, 12, gfx::kDeclFloat3, gfx::kDeclMethodDefault, gfx::kDeclUsageNormal, 0);
        vertexDecl.AddVertexElement(0, 24, gfx::kDeclFloat2, gfx::kDeclMethodDefault, gfx::kDeclUsageTexcoord, 0);
        vertexDecl.SetState(resource_state::kLoaded);
    }
    MakeUniqueMaterial(material);
    quad.mesh.sharedDecl = &vertexDecl;
}

ParticleData::~ParticleData()
{
    if (instanceBuffer) {
        if (instanceLock)
            instanceBuffer->Unlock();
        if (RendererExists())
            GetRenderer()->Resources().ReleaseVertexBuffer(instanceBuffer);
        else
            instanceBuffer->Release();
    }
}

void ParticleResource::CopyPayloadTo(ResourceObject& target)
{
    ParticleData* from = GetPayload();
    ParticleData* to = target.GetPayload();
    if (!from || !to || from == to)
        return;
    target.SetState(GetState());
    to->particleCount = from->particleCount;
    to->rate = from->rate;
    to->lifetime = from->lifetime;
    to->randomness = from->randomness;
    to->localSpace = from->localSpace;
    to->posMap.AttachById(from->posMap.GetId());
    to->posRndMap.AttachById(from->posRndMap.GetId());
    to->rotMap.AttachById(from->rotMap.GetId());
    to->material.AttachById(from->material.GetId());
    to->quad.mesh.AttachById(from->quad.mesh.GetId());
}

ParticleResource* GetParticleResourceManager()
{
    static ParticleResource* const manager = RegisterGlobalObject(new ParticleResource);
    return manager;
}

namespace {
[[maybe_unused]] ParticleResource* const particleType = GetParticleResourceManager();
} // namespace
