#include "render/world/particle_group.h"

#include <algorithm>

#include "render/frame/render_pass_list.h"
#include "render/frame/render_queue.h"
#include "render/frame/scene_renderer.h"
#include "render/world/particle_emitter.h"

namespace {

bool IsGroupPass(const ParticleGroup& group, const RenderPass* pass)
{
    return std::any_of(group.emitters.begin(), group.emitters.end(),
                       [pass](const ParticleEmitter* e) { return e && &e->updatePass == pass; });
}

// The group's update passes out of the list. They normally stand at its end;
// one that a later append left further in would otherwise be listed twice, or
// stay behind after its emitter is gone.
void TakeGroupPasses(ParticleGroup& group, const ParticleEmitter* leaving)
{
    std::vector<RenderPass*>& passes = group.passListOwner->passes;
    passes.erase(std::remove_if(passes.begin(), passes.end(),
                                [&](const RenderPass* pass) {
                                    return IsGroupPass(group, pass) || (leaving && pass == &leaving->updatePass);
                                }),
                 passes.end());
}

void AppendPasses(ParticleGroup& group)
{
    for (ParticleEmitter* emitter : group.emitters)
        if (emitter)
            group.passListOwner->passes.push_back(&emitter->updatePass);
}

template <class List, class Item>
void EraseFirst(List& list, Item item)
{
    const auto at = std::find(list.begin(), list.end(), item);
    if (at != list.end())
        list.erase(at);
}

} // namespace

void AddEmitter(ParticleGroup& group, ParticleEmitter* emitter)
{
    group.emitters.push_back(emitter);
}

void RefreshEmitterPasses(ParticleGroup& group)
{
    if (!group.passListOwner)
        return;
    TakeGroupPasses(group, nullptr);
    AppendPasses(group);
}

void QueueEmitters(ParticleGroup& group, SceneRenderer* renderer, uint32_t index)
{
    if (!renderer)
        return;
    std::vector<RenderQueue*>& lists = renderer->queues;
    for (ParticleEmitter* emitter : group.emitters) {
        if (!emitter)
            continue;
        renderer->RemoveInstanceArray(&emitter->updatePass.renderer.instanceList);
        renderer->RemoveInstanceArray(&emitter->drawTemplate.instanceList);
    }
    // One place for all: an index past the end is the end as it is now.
    const size_t at = std::min<size_t>(index, lists.size());
    for (ParticleEmitter* emitter : group.emitters) {
        if (!emitter)
            continue;
        lists.insert(lists.begin() + static_cast<std::ptrdiff_t>(at), &emitter->drawTemplate.instanceList);
        lists.insert(lists.begin() + static_cast<std::ptrdiff_t>(at), &emitter->updatePass.renderer.instanceList);
    }
}

void RemoveEmitter(ParticleGroup& group, ParticleEmitter* emitter)
{
    if (group.passListOwner)
        TakeGroupPasses(group, emitter);
    EraseFirst(group.emitters, emitter);
    if (group.passListOwner)
        AppendPasses(group);
    if (!emitter)
        return;
    if (SceneRenderer* renderer = currentSceneRenderer) {
        renderer->RemoveInstanceArray(&emitter->updatePass.renderer.instanceList);
        renderer->RemoveInstanceArray(&emitter->drawTemplate.instanceList);
    }
}
