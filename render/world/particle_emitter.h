#pragma once
// ParticleEmitter: n GPU particles whose state (a position and an age) lives
// in a one-row float texture. Each frame the emitter hands its update pass and
// its draw effect their parameters; the update pass (a post pass drawing
// "particleUpdater.fx" over the row) reads state texture A, writes B, and the
// frame copies B back into A; the particles are drawn as one instanced draw of
// n quads with "particle.fx", which reads A and the three baked curve textures.
// The set-up (SetupParticleEmitter) runs once, after its creator has filled
// the particle data; from then on the emitter is a per-frame object. Render
// thread only.
#include <cstdint>

#include "kernel/math/float4.h"
#include "kernel/time.h"
#include "render/frame/post_pass.h"
#include "render/frame/renderer_template.h"
#include "render/nodes/scene.h"
#include "render/textures/texture_resource.h"
#include "render/world/particle_data.h"
#include "scene/dynamic.h"
#include "scene/scene_node.h"

class CurveResource;
class Effect;
class ParticleEmitter;

inline constexpr char kParticleEffectName[] = "particle.fx";
inline constexpr char kParticleUpdaterEffectName[] = "particleUpdater.fx";
// Texels of a baked curve texture.
inline constexpr uint32_t kParticleCurveWidth = 32;
// Flags of the particles' draw record: own instance data (count, buffer and
// offset set here), the renderer's world, the scale in w.
inline constexpr uint8_t kParticleDrawFlags = 0x2A;

// The emitter's draw template: its queue holds the one draw record of the
// particle quad, gathered at set-up and kept; rendering it patches that
// record into an instanced draw of every particle (RenderEmitter).
class EmitterTemplate : public RendererTemplate {
public:
    explicit EmitterTemplate(ParticleEmitter& owner) : emitter(&owner) {}
    void Render() override;

    ParticleEmitter* emitter;
};

class alignas(16) ParticleEmitter : public Dynamic {
public:
    // Joins the current per-frame list; its clock is a child of the global clock.
    ParticleEmitter();
    ~ParticleEmitter() override;

    // UpdateEmitter.
    void Update() override { UpdateEmitter(); }
    // The clock, the position parameters, the update's "delta" and the wind;
    // the draw queue is passed over while the draw template is disabled.
    void UpdateEmitter();
    // "emitterPos" and "randomness" of the update effect (and "globalOffset"
    // of the draw effect for local-space particles) from the node's world
    // translation, jittered by the randomness.
    void UpdateEmitterParams();
    // The draw template's Render: after set-up, its draw record becomes an
    // instanced draw of the particle count from the instance buffer, drawn
    // with the frame's lights.
    void RenderEmitter();

    // The particle data, or null before the particle resource has a block.
    ParticleData* Data() { return particles.GetPayload(); }
    // The update pass's effect ("particleUpdater.fx").
    Effect* UpdateEffect() { return updatePass.material.GetEffect(); }

    ParticleResource particles;
    EmitterTemplate drawTemplate{*this};
    TextureResource stateA; // current state, "texInput" of both effects
    TextureResource stateB; // the update pass's target
    Scene particleScene;    // one mesh node per particle
    Effect* drawEffect = nullptr; // "particle.fx" of the quad's material; set by the set-up
    float4* wind = nullptr;       // shared wind vector, or none; not owned
    Time clock;
    SceneNode node;               // the emitter's place: its position is the emitter position
    float windFactor = 0.5f;
    PostPass updatePass;
};

// The particle material's effect loads "particle.fx" with the automatic
// matrices "MatWorldViewProj", "MatWorld" and "MatView".
void LoadParticleEffect(ParticleEmitter& emitter);
// Bakes the three curves, 32 texels each, into posMap, posRndMap and rotMap.
void BakeParticleCurves(ParticleEmitter& emitter, CurveResource* position, CurveResource* positionRandomness,
                        CurveResource* rotation);
// The one-time set-up: particle nodes, instance buffer, state textures, update
// pass and both effects' parameters, the start state of every particle. The
// particle data must hold the count, rate, lifetime, curve textures and quad
// mesh. A data block without particles is refused (false); failures of the
// device are reported and leave nothing written through a failed lock.
bool SetupParticleEmitter(ParticleEmitter& emitter);
