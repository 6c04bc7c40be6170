#include "net/para_objects.h"

#include <cmath>
#include <iostream>
#include <new>

#include "kernel/task_message.h"
#include "net/para_tasks.h"
#include "net/remote_scene.h"
#include "net/weather.h"
#include "platform/bytes/byte_reader.h"
#include "render/effects/effect.h"
#include "render/frame/scene_renderer.h"
#include "render/resources/mesh.h"
#include "render/resources/quad.h"
#include "render/world/particle_emitter.h"
#include "render/world/particle_group.h"

namespace {

constexpr size_t kCreateAt = 0;
constexpr size_t kPositionAt = 3;
constexpr size_t kPitchAt = 15;
constexpr size_t kYawAt = 19;
constexpr size_t kRollAt = 23;

const char* const kEntryFields[] = {"position x", "position y", "position z", "pitch", "yaw", "roll"};

} // namespace

// ---- ParaSlot ----

ParaSlot::~ParaSlot()
{
    DestroyObject();
}

void ParaSlot::DestroyObject()
{
    if (object) {
        if (owner)
            RemoveEmitter(*owner, object);
        delete object;
    }
    object = nullptr;
    owner = nullptr;
    exists = 0;
}

bool ParaSlot::CreateParaObject(ParticleGroup* group, uint32_t queueIndex, CurveResource* position,
                                CurveResource* spread, CurveResource* rotation, float4* wind)
{
    DestroyObject();
    exists = 0;
    ParticleEmitter* emitter = new (std::nothrow) ParticleEmitter;
    if (!emitter) {
        std::cout << "Para object could not be made.\n";
        return false;
    }
    object = emitter;
    emitter->particles.CreateUnique();
    ParticleData* data = emitter->Data();
    if (!data) {
        DestroyObject();
        return false;
    }
    if (Effect* effect = data->material.GetEffect()) {
        for (const char* define : {"BILLBOARD", "WIND", "FADE", "LIGHTING"})
            effect->SetDefine(define, true);
    }
    LoadParticleEffect(*emitter);
    if (TextureResource* diffuse = data->material.textureSlots.GetTextureSlot("diffuse")) {
        diffuse->async = 0;
        diffuse->LoadByName(kParaTextureName);
    }
    if (CreateQuadOfSize(data->quad.mesh, 1.0f, 1.0f, 1, 0)) {
        MeshData* mesh = data->quad.mesh.GetPayload();
        if (IndexBufferData* indices = mesh ? mesh->currentSubsets->items[0].GetPayload() : nullptr)
            indices->subsetScalar = kParaQuadRadius;
    }
    data->rate = kParaParticleRate;
    data->particleCount = kParaParticleCount;
    BakeParticleCurves(*emitter, position, spread, rotation);
    emitter->wind = wind;
    SetupParticleEmitter(*emitter);
    emitter->clock.SetTimeScale(kParaClockScale);
    if (group) {
        AddEmitter(*group, emitter);
        RefreshEmitterPasses(*group);
        QueueEmitters(*group, currentSceneRenderer, queueIndex);
    }
    owner = group;
    emitter->particles.SetState(resource_state::kLoaded);
    exists = 1;
    return true;
}

void ParaSlot::SetParaPosition(const float3& position)
{
    if (exists != 1 || !object)
        return;
    object->node.SetPosition(float4{position.x, position.y, position.z, 1.0f});
}

// ---- Records ----

ParaTargetEntry DecodeParaTargetEntry(const uint8_t* record, uint32_t index)
{
    platform::ByteReader in(record + size_t{index} * kParaTargetEntrySize, kParaTargetEntrySize);
    ParaTargetEntry entry;
    entry.createFlag = in.U16At(kCreateAt);
    entry.position.SetXYZ(in.F32At(kPositionAt), in.F32At(kPositionAt + 4), in.F32At(kPositionAt + 8));
    entry.pitch = in.F32At(kPitchAt);
    entry.yaw = in.F32At(kYawAt);
    entry.roll = in.F32At(kRollAt);
    return entry;
}

std::string CheckParaTargetRecord(const uint8_t* record, uint32_t count)
{
    for (uint32_t i = 0; i < count && i < kParaTargetEntries; ++i) {
        const ParaTargetEntry e = DecodeParaTargetEntry(record, i);
        const float values[] = {e.position.x, e.position.y, e.position.z, e.pitch, e.yaw, e.roll};
        for (size_t k = 0; k < 6; ++k) {
            if (!std::isfinite(values[k]))
                return "entry " + std::to_string(i) + " " + kEntryFields[k] + " is not a finite number";
        }
    }
    return {};
}

// ---- Handlers ----

void ApplyParaPrealloc(RemoteScene& scene, uint32_t count)
{
    if (count > kMaxParaSlots) {
        std::cout << "paraPrealloc refused: " << count << " slots asked for, at most " << kMaxParaSlots << "\n";
        return;
    }
    // Slots are destroyed from the last to the first.
    scene.paraSlots.reset();
    if (count == 0)
        std::cout << "zeroed\n";
    else
        scene.paraSlots.reset(new (std::nothrow) ParaSlot[count]);
    scene.paraSlotCount = count;
}

void ApplyParaTarget(RemoteScene& scene, const uint8_t* record)
{
    if (!scene.paraSlots || scene.paraSlotCount == 0)
        return;
    const uint32_t count = std::min<uint32_t>(scene.paraSlotCount, kParaTargetEntries);
    const std::string problem = CheckParaTargetRecord(record, count);
    if (!problem.empty()) {
        std::cout << "paraTarget refused: " << problem << "\n";
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const ParaTargetEntry entry = DecodeParaTargetEntry(record, i);
        ParaSlot& slot = scene.paraSlots[i];
        if (entry.createFlag == 1)
            slot.CreateParaObject(&scene.paraGroup, scene.paraQueueIndex, &scene.paraPositionCurve,
                                  &scene.paraSpreadCurve, &scene.paraRotationCurve, &scene.windVector);
        const float3 position{static_cast<float>(entry.position.x * kOutsideToScene),
                              static_cast<float>(entry.position.y * kOutsideToScene),
                              static_cast<float>(entry.position.z * kOutsideToScene)};
        slot.SetParaPosition(position);
        if (slot.exists == 1 && slot.object) {
            slot.object->node.transform.SetRotationEuler(entry.pitch, entry.yaw, entry.roll);
            slot.object->node.worldDirty = 1;
        }
    }
}

void ParaPreallocHandler(TaskMessage* task)
{
    RemoteScene* scene = GetRemoteScene();
    if (!scene)
        return;
    ApplyParaPrealloc(*scene, task->Get<ParaPreallocArgs::Count>());
}

void ParaTargetHandler(TaskMessage* task)
{
    RemoteScene* scene = GetRemoteScene();
    if (!scene)
        return;
    // The record leaves the store whether or not anything is placed.
    ParaTargetRecordBytes record;
    if (!GetTargetRecordStore().Take(task->Get<ParaTargetArgs::Ticket>(), record)) {
        std::cout << "paraTarget refused: its record was not kept (the record store was full)\n";
        return;
    }
    ApplyParaTarget(*scene, record.data());
}
