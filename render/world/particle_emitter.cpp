#include "render/world/particle_emitter.h"

#include <cstring>
#include <iostream>

#include "platform/gfx/device/buffer.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/resource_flags.h"
#include "platform/os/random.h"
#include "render/device/render_device.h"
#include "render/effects/effect.h"
#include "render/frame/draw_record.h"
#include "render/frame/render_pass_list.h"
#include "render/frame/renderer_template_scene.h"
#include "render/frame/scene_renderer.h"
#include "render/resources/buffer_lock.h"
#include "render/resources/mesh.h"
#include "render/resources/vertex_buffer.h"
#include "render/textures/texture_lock.h"
#include "render/world/curve_texture.h"
#include "render/world/half_float.h"

namespace {

constexpr uint32_t kStateTexelBytes = 16;
constexpr float kRandScale = 1.0f / 32767.0f;

float RandUnit()
{
    return static_cast<float>(platform::os::Rand()) * kRandScale;
}

// The light list a template without one of its own draws with.
std::vector<LightRecord*>* FrameLights()
{
    return currentSceneRenderer ? &currentSceneRenderer->lights : nullptr;
}

gfx::Texture* TextureOf(TextureResource& handle)
{
    TextureData* data = handle.GetPayload();
    if (!data || !data->texture || data->texture->GetType() != gfx::kResourceTexture)
        return nullptr;
    return static_cast<gfx::Texture*>(data->texture);
}

// One state-row texture: n x 1 floats.
void MakeStateTexture(TextureResource& texture, uint32_t n, uint32_t usage, uint32_t pool)
{
    texture.InitRenderTexture(n, 1, gfx::kFormatA32B32G32R32F, 0, usage, pool, 1);
}

// The first subset of the quad's mesh, or null.
MeshSubset* QuadSubset(ParticleData& data)
{
    MeshData* mesh = data.quad.mesh.GetPayload();
    if (!mesh || !mesh->currentSubsets || mesh->currentSubsets->count == 0)
        return nullptr;
    return &mesh->currentSubsets->items[0];
}

// Appends the quad of particle node `node` to the draw template as the scene's
// traversal gathers a mesh node: nothing for a node that casts no shadow while
// a shadow pass gathers; else its world matrix brought up to date and the draw
// record of its mesh's first subset, filled once.
void GatherParticleNode(RendererTemplate& target, MeshNode& node)
{
    if (shadowGathering && !node.castsShadow)
        return;
    MeshData* mesh = node.mesh.GetPayload();
    if (!mesh || !mesh->currentSubsets || mesh->currentSubsets->count == 0)
        return;
    MeshSubset& subset = mesh->currentSubsets->items[0];
    const float4x4* world = node.GetWorldMatrix();
    if (!subset.drawRecord.filled)
        FillDrawRecord(subset.drawRecord, *mesh, subset, node.instancing);
    target.currentDrawRecord = &subset.drawRecord;
    target.AppendInstance(&subset.drawRecord, world);
}

} // namespace

// ---- EmitterTemplate ----

void EmitterTemplate::Render()
{
    emitter->RenderEmitter();
}

// ---- ParticleEmitter ----

ParticleEmitter::ParticleEmitter() = default;

ParticleEmitter::~ParticleEmitter() = default;

void ParticleEmitter::UpdateEmitter()
{
    // The draw queue is kept from frame to frame: a disabled template's queue
    // is passed over instead of being emptied.
    drawTemplate.instanceList.skip = drawTemplate.enabled ? 0 : 1;
    clock.UpdateChildTime();
    UpdateEmitterParams();
    if (Effect* update = UpdateEffect())
        update->SetFloat("delta", static_cast<float>(clock.delta));
    if (wind && drawEffect) {
        const float4 scaled = *wind * windFactor;
        drawEffect->SetVector("WindVec", &scaled);
    }
}

void ParticleEmitter::UpdateEmitterParams()
{
    ParticleData* data = Data();
    const float4 translation = node.GetWorldMatrix()->Row(3);
    float4 p = translation;
    if (data && data->localSpace == 1) {
        if (drawEffect)
            drawEffect->SetVector("globalOffset", &translation);
        p = float4{0.0f, 0.0f, 0.0f, 0.0f};
    }
    const float3 r = data ? data->randomness : float3{};
    // A component that is not a number counts as not 0.
    if (!(r.x == 0.0f) || !(r.y == 0.0f) || !(r.z == 0.0f)) {
        const float uz = RandUnit();
        const float uy = RandUnit();
        const float ux = RandUnit();
        p.x += -r.x + (r.x - (-r.x)) * ux;
        p.y += -r.y + (r.y - (-r.y)) * uy;
        p.z += -r.z + (r.z - (-r.z)) * uz;
    }
    if (Effect* update = UpdateEffect()) {
        update->SetVector("emitterPos", &p);
        const float4 randomness{r.x, r.y, r.z, 1.0f};
        update->SetVector("randomness", &randomness);
    }
}

void ParticleEmitter::RenderEmitter()
{
    drawTemplate.ResetInstances(FrameLights());
    // The queue is kept, so the reset above leaves it as it is; the particles
    // still draw with the frame's lights (and fog).
    if (!drawTemplate.instanceList.lightList)
        drawTemplate.instanceList.lightList = FrameLights();
    drawTemplate.instanceList.skip = drawTemplate.enabled ? 0 : 1;
    ParticleData* data = Data();
    if (!drawTemplate.enabled || drawTemplate.instanceList.Count() == 0 || !data)
        return;
    DrawRecord* record = drawTemplate.instanceList.items[0];
    if (!record)
        return;
    const SceneList<SceneNode>* nodes = particleScene.Nodes();
    record->instanceBuffer = data->instanceBuffer;
    record->instanceCount = nodes ? static_cast<int32_t>(nodes->count) : 0;
    record->instanceOffset = 0;
    record->flags = kParticleDrawFlags;
}

// ---- Set-up ----

void LoadParticleEffect(ParticleEmitter& emitter)
{
    ParticleData* data = emitter.Data();
    Effect* effect = data ? data->material.GetEffect() : nullptr;
    if (!effect)
        return;
    effect->LoadByName(kParticleEffectName);
    effect->SetAutoMatrix("MatWorldViewProj", 0);
    effect->SetAutoMatrix("MatWorld", 1);
    effect->SetAutoMatrix("MatView", 3);
}

void BakeParticleCurves(ParticleEmitter& emitter, CurveResource* position, CurveResource* positionRandomness,
                        CurveResource* rotation)
{
    ParticleData* data = emitter.Data();
    if (!data)
        return;
    const float width = static_cast<float>(kParticleCurveWidth);
    BakeCurveTexture(position, &data->posMap, width);
    BakeCurveTexture(positionRandomness, &data->posRndMap, width);
    BakeCurveTexture(rotation, &data->rotMap, width);
}

bool SetupParticleEmitter(ParticleEmitter& emitter)
{
    ParticleData* d = emitter.Data();
    if (!d || d->particleCount == 0) {
        std::cout << "Particle emitter without particles not set up.\n";
        return false;
    }
    const uint32_t n = d->particleCount;
    RenderDevice* renderer = GetRenderer();

    // 1-3: the instances gathered here are kept; the quad draws with the
    // particle material; one node per particle.
    emitter.drawTemplate.keep = 1;
    d->quad.mesh.SetMeshMaterial(d->material);
    emitter.particleScene.CreateMeshNodes(n);

    // 4: the instance buffer, locked whole.
    if (d->instanceBuffer) {
        renderer->Resources().ReleaseVertexBuffer(d->instanceBuffer);
        d->instanceBuffer = nullptr;
    }
    renderer->Resources().CreateVertexBuffer(&d->instanceBuffer, n, kParticleInstanceStride, gfx::kUsageDynamic);
    d->instanceLock = LockWholeBuffer(d->instanceBuffer, gfx::kLockDiscard);

    // 5-6: the staging row in system memory, then the two state rows.
    TextureResource staging;
    MakeStateTexture(staging, n, 0, gfx::kPoolSystemMem);
    MakeStateTexture(emitter.stateA, n, gfx::kUsageRenderTarget, gfx::kPoolDefault);
    MakeStateTexture(emitter.stateB, n, gfx::kUsageRenderTarget, gfx::kPoolDefault);
    TextureData* a = emitter.stateA.GetPayload();
    TextureData* b = emitter.stateB.GetPayload();

    // 7-9: the update pass draws into B; the frame copies B back into A.
    emitter.updatePass.SetupPostPass(1, b ? &b->target : nullptr);
    if (Effect* update = emitter.UpdateEffect()) {
        update->LoadByName(kParticleUpdaterEffectName);
        update->SetAutoMatrix("MatWorldViewProj", 0);
        update->SetTexture("texInput", &emitter.stateA);
        update->SetVector("emitterPos", &emitter.node.transform.position);
        update->SetFloat("delta", 0.0f);
        update->SetFloat("rate", d->rate);
        update->SetFloat("lifetime", d->lifetime);
    }
    emitter.updatePass.copyAfterDraw = a ? &a->target : nullptr;
    // The particles are drawn when the update pass gathers: its Render patches
    // the draw record (the queue itself is kept from here on).
    emitter.updatePass.AddRendererTemplate(&emitter.drawTemplate);

    // 10: the staging row locked; a failed lock leaves it unwritten.
    gfx::Texture* stagingTexture = TextureOf(staging);
    uint8_t* row = nullptr;
    if (stagingTexture && LockTexture(staging.locked, stagingTexture, 0, 0, 0, 0, 0, 0)) {
        staging.GetPayload()->lockedLevel = 0;
        if (staging.locked.bits && staging.locked.pitch >= 0 &&
            static_cast<uint64_t>(staging.locked.pitch) >= uint64_t{kStateTexelBytes} * n)
            row = static_cast<uint8_t*>(staging.locked.bits);
    }

    // 11: the draw effect.
    MeshSubset* subset = QuadSubset(*d);
    Effect* draw = subset ? subset->material.GetEffect() : nullptr;
    if (draw) {
        draw->LoadByName(kParticleEffectName);
        draw->SetAutoMatrix("MatWorldViewProj", 0);
        draw->SetAutoMatrix("MatWorld", 1);
        draw->SetAutoMatrix("MatView", 3);
        draw->SetTexture("texInput", &emitter.stateA);
        draw->SetFloat("numParticles", static_cast<float>(n));
        draw->SetTexture("posMap", &d->posMap);
        draw->SetTexture("posRndMap", &d->posRndMap);
        draw->SetTexture("rotMap", &d->rotMap);
        const float4 sampleSize{1.0f / kParticleCurveWidth, 0.0f, 0.0f, 0.0f};
        draw->SetVector("sampleSize", &sampleSize);
        draw->SetFloat("numSamples", static_cast<float>(kParticleCurveWidth));
        draw->SetFloat("lifetime", d->lifetime);
    }
    emitter.drawEffect = draw;

    // 12: every particle: its node shares the quad mesh, its instance record,
    // its start state. Every node draws the same record, and the record is
    // drawn as one instanced draw of all of them: it is gathered once.
    const uint32_t quadId = d->quad.mesh.GetId();
    SceneList<SceneNode>* nodes = emitter.particleScene.Nodes();
    auto* records = static_cast<uint8_t*>(d->instanceLock);
    const float4 start = emitter.node.transform.position;
    for (uint32_t i = 0; i < n; ++i) {
        auto* particle = nodes && i < nodes->count ? static_cast<MeshNode*>(nodes->items[i]) : nullptr;
        if (particle)
            particle->mesh.AttachById(quadId);
        const uint16_t half[4] = {FloatToHalf(static_cast<float>(i)), FloatToHalf(RandUnit()),
                                  FloatToHalf(RandUnit()), FloatToHalf(RandUnit())};
        if (records)
            std::memcpy(records + size_t{kParticleInstanceStride} * i, half, sizeof half);
        if (particle && i == 0)
            GatherParticleNode(emitter.drawTemplate, *particle);
        if (row) {
            const float texel[4] = {start.x, start.y, start.z, -(static_cast<float>(i) * d->rate)};
            std::memcpy(row + size_t{kStateTexelBytes} * i, texel, sizeof texel);
        }
    }

    // 13-15: the row into A, the instance buffer unlocked, the staging row released.
    if (stagingTexture && staging.locked.bits)
        UnlockTexture(stagingTexture, staging.GetPayload()->lockedLevel);
    if (stagingTexture && a && a->texture)
        UpdateTextureChecked(stagingTexture, a->texture);
    if (d->instanceLock) {
        UnlockBuffer(d->instanceBuffer);
        d->instanceLock = nullptr;
    }
    staging.ReleaseResource();

    // The record is an instanced draw from the first frame on.
    emitter.RenderEmitter();
    return true;
}
