// Drawing the render queues for one pass. Runs of adjacent entries that draw
// the same record become one instanced draw: their world matrices go into the
// instancing pool and the run's first entry draws them all. Every entry or
// batch then binds its streams, declaration and indices, switches effect,
// variant and technique only when they change, and draws every pass of its
// effect.
#include <cstring>
#include <iostream>

#include "kernel/rs_hash.h"
#include "platform/gfx/device/device.h"
#include "platform/gfx/device/draw_types.h"
#include "platform/gfx/device/query.h"
#include "platform/gfx/device/render_state.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "render/device/render_device.h"
#include "render/effects/effect.h"
#include "render/frame/draw_record.h"
#include "render/frame/render_queue.h"
#include "render/frame/scene_renderer.h"

namespace {
// The device primitive of a record's kind; 0 (refused by the device) for a
// kind beyond the table rather than the kind its low bits name.
uint32_t PrimitiveType(const RenderDevice& renderer, uint8_t kind)
{
    return kind < 4 ? renderer.Frame().PrimitiveType(kind) : 0;
}
} // namespace

void SceneRenderer::DrawInstanced(const std::string& passName, uint8_t colourWrite, uint8_t depthWrite)
{
    if (!RendererExists() || !GetRenderer()->Device())
        return;
    RenderDevice* renderer = GetRenderer();
    techniqueName = passName;
    techniqueId = RSHash(passName);
    renderStates.SetCachedState(gfx::kRsZWriteEnable, depthWrite ? 1u : 0u);
    renderStates.SetCachedState(gfx::kRsColorWriteEnable, colourWrite ? 0xFFFFFFFFu : 0u);
    if (!instancingReady)
        CreateInstancingPool();
    RewindInstancingBuffers();
    const bool canBatch = renderer->Frame().AllowInstancing() && instancingBuffers[0] && instanceMatrices.matrices &&
                          instanceMatrices.count > 0;

    for (RenderQueue* queue : queues) {
        if (!queue || queue->skip)
            continue;
        const uint32_t count = queue->Count();
        const DrawRecord* first = count > 0 ? queue->items[0] : nullptr;
        const bool ownInstances = first && (first->flags & kDrawRecordOwnInstances);
        bool batched = false;
        runs_.clear();
        if (count > 0 && !ownInstances) {
            for (uint32_t i = 0; i < count; ++i) {
                if (DrawRecord* item = queue->items[i])
                    item->instanceCount = 0;
            }
            // A queue never starts drawing through the last queue's batch.
            renderer->Frame().SetInstancingOff();
            if (canBatch) {
                BatchQueue(*queue);
                RewindInstancingBuffers();
                batched = true;
            }
        }

        size_t run = 0;
        for (uint32_t i = 0; i < count;) {
            DrawRecord* item = queue->items[i];
            if (!item) {
                ++i;
                continue;
            }
            if (batched && !(item->flags & kDrawRecordOwnInstances)) {
                // Each run draws with its own figures, even when its record
                // heads another run of the queue too; every other entry draws
                // once with instancing off.
                if (run < runs_.size() && runs_[run].start == i) {
                    item->instanceCount = runs_[run].count;
                    item->instanceBuffer = runs_[run].buffer;
                    item->instanceOffset = runs_[run].offset;
                    ++run;
                } else {
                    item->instanceCount = -1;
                }
            }
            const float4x4* world = i < queue->matrices.size() ? queue->matrices[i] : nullptr;
            DrawBatch(item, world, queue->lightList, passName);
            const int32_t n = item->instanceCount;
            if (n > 0 && !(item->flags & kDrawRecordOwnInstances))
                i += static_cast<uint32_t>(n) - 1;
            ++i;
        }
    }

    currentVertexBuffer = nullptr;
    EndCurrentEffect();
    currentEffect = nullptr;
    renderer->Frame().SetInstancingOff();
    stagedMatrices = 0;
    effectDirty = 0;
}

void SceneRenderer::StageMatrix(const float4x4* world, const DrawRecord& item, int32_t index)
{
    if (stagedMatrices >= instanceMatrices.count) {
        std::cerr << "staticHeapVector overflow.\n";
        stagedMatrices = 0;
        stagingOverflowed_ = true;
    }
    float4x4& slot = instanceMatrices.matrices[stagedMatrices++];
    if (world)
        slot = *world;
    else
        slot.SetIdentity();
    if (item.flags & kDrawRecordScaleInW)
        slot(3, 3) = slot(0, 0);
    else if (item.flags & kDrawRecordIndexInW)
        slot(3, 3) = static_cast<float>(index);
}

void SceneRenderer::BatchQueue(RenderQueue& queue)
{
    stagedMatrices = 0;
    stagingOverflowed_ = false;
    const uint32_t count = queue.Count();
    DrawRecord* prev = nullptr;
    DrawRecord* head = nullptr;
    uint32_t headStart = 0;
    auto matrixOf = [&queue](uint32_t i) { return i < queue.matrices.size() ? queue.matrices[i] : nullptr; };
    for (uint32_t i = 0; i < count; ++i) {
        DrawRecord* item = queue.items[i];
        const bool continues = i > 0 && item && item == prev;
        if (continues && i + 1 < count) {
            if (!head) {
                prev->instanceCount = 1;
                StageMatrix(matrixOf(i - 1), *prev, 0);
                if (prev->flags & kDrawRecordNoInstancing) {
                    prev->instanceCount = 0;
                    stagedMatrices = 0;
                    return;
                }
                if ((prev->flags & kDrawRecordRendererWorld) && i - 1 < queue.matrices.size())
                    queue.matrices[i - 1] = &transform.GetLocalMatrix();
                head = prev;
                headStart = i - 1;
            }
            ++head->instanceCount;
            StageMatrix(matrixOf(i), *head, head->instanceCount - 1);
        } else if (stagedMatrices > 0) {
            if (continues) {
                // The queue's last entry ends the run.
                ++head->instanceCount;
                StageMatrix(matrixOf(i), *head, head->instanceCount - 1);
            } else if (item) {
                --item->instanceCount; // 0 to -1: its draw switches instancing off
            }
            FlushRun(head, headStart);
            head = nullptr;
        }
        prev = item;
    }
}

void SceneRenderer::FlushRun(DrawRecord* item, uint32_t start)
{
    const uint32_t staged = stagedMatrices;
    const bool complete = !stagingOverflowed_ && static_cast<uint32_t>(item->instanceCount) == staged;
    stagedMatrices = 0;
    stagingOverflowed_ = false;
    InstancingReservation reservation;
    // A run whose matrices could not all be staged, or that finds no room in
    // the pool, is drawn entry by entry.
    if (!complete || !NextInstancingBuffer(staged * kInstanceStride, reservation)) {
        item->instanceCount = -1;
        return;
    }
    item->instanceBuffer = reservation.buffer;
    item->instanceOffset = reservation.offset;
    std::memcpy(reservation.data, instanceMatrices.matrices, staged * kInstanceStride);
    runs_.push_back({start, item->instanceCount, reservation.buffer, reservation.offset});
}

void SceneRenderer::EndCurrentEffect()
{
    if (begunEffect_) {
        if (begunEffect_->ActivePass() >= 0)
            begunEffect_->EndPass();
        if (begunEffect_->IsBegun())
            begunEffect_->End();
        begunEffect_ = nullptr;
    }
    if (currentEffect)
        currentEffect->currentPass = -1;
}

void SceneRenderer::DrawBatch(DrawRecord* item, const float4x4* world, std::vector<LightRecord*>* lightsOfDraw,
                              const std::string& passName)
{
    RenderDevice* renderer = GetRenderer();
    gfx::Device* device = renderer->Device();
    if (!item || !device)
        return;

    const int32_t n = item->instanceCount;
    if (n > 0)
        renderer->Frame().SetInstancing(static_cast<uint32_t>(n), item->instanceBuffer, item->instanceStride,
                                        item->instanceOffset);
    else if (n < 0)
        renderer->Frame().SetInstancingOff();
    declarationSetter.Update(reinterpret_cast<uintptr_t>(item->declaration));
    if (item->vertexBuffer && item->vertexBuffer != currentVertexBuffer) {
        if (renderer->KeepResult(device->SetStreamSource(0, item->vertexBuffer, 0, item->vertexStride)) != gfx::kOk)
            std::cout << "SetStreamSource error.\n";
        currentVertexBuffer = item->vertexBuffer;
    }
    indexSetter.Update(reinterpret_cast<uintptr_t>(item->indexBuffer));
    primitiveKind = item->primitiveKind;
    vertexCount = item->vertexCount;
    primitiveCount = item->primitiveCount;
    if (!item->enabled || !item->effect)
        return;

    Effect& effect = *item->effect;
    EffectData* data = effect.GetPayload();
    if (!data)
        return;
    if (effect.wantedVariant != data->currentVariant) {
        data->currentVariant = effect.wantedVariant;
        data->current = data->variants[effect.wantedVariant];
        if (!data->current)
            effect.LoadEffectVariant();
        effectDirty = 1;
    }
    gfx::RuntimeEffect* compiled = data->current.get();
    // An effect that could not be loaded or compiled draws nothing.
    if (!compiled)
        return;

    if (currentEffect != &effect || effectDirty) {
        effectDirty = 0;
        EndCurrentEffect();
        effect.currentPass = -1;
        currentEffect = &effect;
        techniqueName = passName;
        techniqueMissing_ = compiled->SetTechnique(passName) != gfx::kEffectOk;
        if (techniqueMissing_)
            ReportMissingTechnique(effect, passName);
    }
    // Drawn with another technique the picture would be wrong: nothing is drawn.
    if (techniqueMissing_)
        return;

    ApplyObjectParameters(item, world, techniqueName);

    if (lightsOfDraw && techniqueId != depthId) {
        for (const LightRecord* light : *lightsOfDraw) {
            if (!light)
                continue;
            switch (light->lightType) {
            case kLightDirectional:
                compiled->SetVector("LightColor", &light->colour.x);
                compiled->SetVector("LightDir", &light->direction.x);
                break;
            case kLightAmbient:
                compiled->SetVector("AmbientColor", &light->colour.x);
                break;
            case kLightFog:
                compiled->SetVector("FogColor", &light->colour.x);
                compiled->SetFloat("fogMult", fogMult);
                break;
            default:
                break;
            }
        }
        if (hdrEnabled)
            compiled->SetFloat("exposure", exposure);
    }

    bool queryBegun = false;
    gfx::GpuQuery* query = item->query ? item->query->query : nullptr;
    if (query && (!item->query->target || item->query->target == renderer->Targets().CurrentTarget())) {
        uint32_t result = 0;
        if (query->GetData(&result, sizeof result, 0) != gfx::kFalse) {
            query->Issue(gfx::kIssueBegin);
            queryBegun = true;
        }
    }

    DrawPasses(effect, *compiled);

    if (queryBegun)
        query->Issue(gfx::kIssueEnd);
}

void SceneRenderer::DrawPasses(Effect& effect, gfx::RuntimeEffect& compiled)
{
    RenderDevice* renderer = GetRenderer();
    int8_t& pass = effect.currentPass;
    auto beginPass = [&](uint32_t index) {
        if (pass >= 0)
            compiled.EndPass();
        uint32_t passes = 0;
        compiled.Begin(passes);
        effect.passCount = passes;
        begunEffect_ = &compiled;
        compiled.BeginPass(index);
        pass = static_cast<int8_t>(index);
    };
    if (pass >= 0)
        compiled.CommitChanges();
    if (pass != 0)
        beginPass(0);
    passCount = static_cast<uint8_t>(effect.passCount);
    for (uint32_t k = 0; k < passCount; ++k) {
        if (k > 0 && pass != static_cast<int8_t>(k))
            beginPass(k);
        const gfx::Result result = renderer->KeepResult(renderer->Device()->DrawIndexedPrimitive(
            PrimitiveType(*renderer, primitiveKind), 0, 0, vertexCount, 0, primitiveCount));
        if (gfx::Failed(result))
            std::cout << "DIP failed: " << gfx::DescribeResult(result) << "\n";
        else
            renderer->Frame().CountDrawCall();
    }
}

void SceneRenderer::ReportMissingTechnique(Effect& effect, const std::string& passName)
{
    EffectData* data = effect.GetPayload();
    const auto key = std::make_pair(static_cast<const void*>(data ? data->current.get() : nullptr), techniqueId);
    for (const auto& reported : missingTechniques_) {
        if (reported == key)
            return;
    }
    missingTechniques_.push_back(key);
    std::cout << "Effect " << (data ? std::string(data->sourceName.View()) : std::string()) << " has no technique "
              << passName << "\n";
}
