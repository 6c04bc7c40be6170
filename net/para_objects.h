#pragma once
// Para objects: billboard fog-cloud particle emitters that an outside program
// places in the remote scene. paraPrealloc sizes the scene's array of slots
// (destroying every para object first); paraTarget creates, places and turns
// the para object of each slot from a record of 128 entries of 27 bytes
// (u16 create flag, a byte not read, position x, y, z in outside units, pitch,
// yaw, roll in degrees; little-endian, packed). Render thread only.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kernel/math/float3.h"
#include "kernel/math/float4.h"

class CurveResource;
class ParticleEmitter;
struct ParticleGroup;
struct RemoteScene;
struct TaskMessage;

inline constexpr char kParaTextureName[] = "textures/fogcloudS.dds";
inline constexpr uint32_t kParaParticleCount = 32;
inline constexpr float kParaParticleRate = 2.0f;
inline constexpr float kParaClockScale = 0.4f;
inline constexpr float kParaQuadRadius = 1000.0f;
// A target record has this many entries; more slots could never be reached.
inline constexpr uint32_t kMaxParaSlots = 128;

// One para object's place: the emitter it owns and the group it joined.
class ParaSlot {
public:
    ParaSlot() = default;
    // The emitter leaves its group and is destroyed.
    ~ParaSlot();
    ParaSlot(const ParaSlot&) = delete;
    ParaSlot& operator=(const ParaSlot&) = delete;

    // Builds the slot's emitter afresh (the one it had leaves its group and is
    // destroyed first) and adds it to `group`, its queues at `queueIndex` of the
    // current scene renderer. False, with the slot empty, when no emitter
    // could be made.
    bool CreateParaObject(ParticleGroup* group, uint32_t queueIndex, CurveResource* position,
                          CurveResource* spread, CurveResource* rotation, float4* wind);
    // A live slot's emitter node moves to (x, y, z, 1) in scene units.
    void SetParaPosition(const float3& position);
    // The emitter out of its group and destroyed; the slot empty.
    void DestroyObject();

    ParticleEmitter* object = nullptr;
    ParticleGroup* owner = nullptr; // meaningful while object is set
    uint8_t exists = 0;             // 1 once the emitter is set up
};

// One entry of a target record, positions still in outside units.
struct ParaTargetEntry {
    uint16_t createFlag = 0;
    float3 position;
    float pitch = 0.0f;
    float yaw = 0.0f;
    float roll = 0.0f;
};

ParaTargetEntry DecodeParaTargetEntry(const uint8_t* record, uint32_t index);

// Why the first `count` entries of a target record cannot be applied (a value
// that is not a finite number), or empty when they can.
std::string CheckParaTargetRecord(const uint8_t* record, uint32_t count);

// The handlers (nothing while there is no RemoteScene). A slot count above
// kMaxParaSlots, and a target record with a value that is not a finite number,
// are refused with a line on standard output and change nothing.
void ParaPreallocHandler(TaskMessage* task);
void ParaTargetHandler(TaskMessage* task);

// The handlers' work on a given scene.
void ApplyParaPrealloc(RemoteScene& scene, uint32_t count);
void ApplyParaTarget(RemoteScene& scene, const uint8_t* record);
