#pragma once
// ParticleGroup: the emitters of one owner, their update passes and their
// render queues. The group keeps its emitters' update passes at the end of the
// owner's pass list, in group order, so they run after every other pass of the
// frame; QueueEmitters puts each emitter's queues into the scene renderer's
// queue list at a given place. Render thread only.
#include <cstdint>
#include <vector>

class ParticleEmitter;
class RenderPassList;

struct ParticleGroup {
    // In order of addition; the same emitter may be added twice. Not owned.
    std::vector<ParticleEmitter*> emitters;
    // The pass list the update passes are appended to, or none. Not owned.
    RenderPassList* passListOwner = nullptr;
};

class SceneRenderer;

// Appends the emitter.
void AddEmitter(ParticleGroup& group, ParticleEmitter* emitter);
// With a pass list: the group's update passes are taken out of it, then every
// emitter's update pass is appended in group order.
void RefreshEmitterPasses(ParticleGroup& group);
// Takes every emitter's queues (its update pass's and its draw template's) out
// of the renderer's list, then inserts them, emitter by emitter, at `index`
// (at most the list's length): the emitters end up in reverse group order
// from there, each with its update pass's queue before its draw queue.
void QueueEmitters(ParticleGroup& group, SceneRenderer* renderer, uint32_t index);
// Erases the first entry of the emitter; the update passes of the emitters
// left are appended again (the emitter's own is gone from the pass list), and
// its queues are taken out of the current renderer's list.
void RemoveEmitter(ParticleGroup& group, ParticleEmitter* emitter);
