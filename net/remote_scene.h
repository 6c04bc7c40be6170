#pragma once
// RemoteScene: the scene that an outside program steers through the network
// link, reached through one process-wide pointer. Nothing in the engine builds
// one, so in the running program the pointer stays null and every task handler
// of the link returns at once. What is here is what the handlers act on: the
// weather state and the cloud layer, the sky, the nodes the poses of setPara
// place, the scene mode with the nodes, scenes and materials it shows or
// hides, the terrain under the probe, and the para objects (their group, curves,
// wind and slots). Pointers and materials left empty by whoever builds the
// scene are passed over.
#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/math/float4.h"
#include "net/para_objects.h"
#include "render/nodes/mesh_node.h"
#include "render/nodes/scene.h"
#include "render/resources/material.h"
#include "render/world/cloud_layer.h"
#include "render/world/curve.h"
#include "render/world/particle_group.h"
#include "render/world/sky.h"
#include "scene/heightfield.h"
#include "scene/scene_node.h"

class Effect;
class ValueListener;

namespace scene_mode {
inline constexpr uint8_t k0 = 0;
inline constexpr uint8_t k1 = 1; // the probe stays; the attitude turns while the timer runs
inline constexpr uint8_t k2 = 2; // entered through SetupSceneMode2
} // namespace scene_mode

struct alignas(16) RemoteScene {
    // Joins the sky to the time-of-day angle.
    RemoteScene();
    // The para objects go first, while their group still exists.
    ~RemoteScene();
    RemoteScene(const RemoteScene&) = delete;
    RemoteScene& operator=(const RemoteScene&) = delete;

    // Back from mode 2: the tint grey, the normal nodes shown, the mode-2 nodes hidden.
    void ResetSceneColour();
    // Into mode 2: presentation, listeners, the aligned and the follower node.
    void SetupSceneMode2();
    // The terrain's height under (x, z); its lower corner's height outside it.
    float TerrainHeightAt(float x, float z) const;

    // While mode is 2 and this is set, setPara leaves the mode.
    uint8_t modeLatch = 0;
    // Turned by the third orientation of setPara.
    SceneNode attitudeNode;
    Heightfield terrain;
    CloudLayer cloudLayer;
    float timeOfDayAngle = 0.0f;
    // The wind every para object's particles follow.
    float4 windVector{};
    // The star object's material; its effect takes "starBright".
    MaterialResource* starMaterial = nullptr;
    Sky sky;
    uint8_t mode = scene_mode::k0;
    // Current on/off state of two cloud layers (kept by the scene's own update).
    uint8_t cloudToggleA = 0;
    uint8_t cloudToggleB = 0;
    // Their effects take "vFrame" in mode 2.
    MaterialResource frameEffects[4];
    // Its effect's "diffuseColor" is the scene's tint.
    MaterialResource tintEffect;
    // Shown outside mode 2.
    MeshNode normalNodes[4];
    Scene normalGroupA;        // its first two nodes shown outside mode 2
    SceneNode alignedNode;     // placed and turned by SetupSceneMode2
    float4 alignedNodeOffset{};
    float4 forwardOffset{};
    SceneNode* modeTwoNode = nullptr;  // shown only in mode 2
    SceneNode* paraNode = nullptr;     // placed by the first pose of setPara
    SceneNode* followerNode = nullptr; // placed by SetupSceneMode2
    SceneNode* anchorNode = nullptr;   // read by SetupSceneMode2
    // Placed by the second pose of setPara; the reply gives the ground height under it.
    SceneNode probeNode;
    float listenerValue = 0.0f;
    // Their effects take "FOGAFFECTSALPHA".
    std::vector<MaterialResource*> fogMaterials;
    float timerValue = 0.0f;
    std::vector<ValueListener*> valueListeners;      // handed listenerValue; not owned
    std::vector<ValueListener*> fixedValueListeners; // handed 100.0; not owned
    Scene modeTwoGroup; // every node shown only in mode 2
    Scene normalGroupB; // its first node shown outside mode 2
    double timerLimit = 0.0;
    float paraLevel1 = 0.0f; // 0..5
    float paraLevel2 = 0.0f;
    float cloudBottomHeight = 0.0f;
    ParticleGroup paraGroup;
    CurveResource paraPositionCurve;
    CurveResource paraSpreadCurve;
    CurveResource paraRotationCurve;
    // The two further cloud layers' effects; they take "percentToShow".
    Effect* cloudEffectA = nullptr;
    Effect* cloudEffectB = nullptr;
    // Elements 0-2: switch requests for three cloud layers; element 3: the
    // current state of the second cloud effect's layer.
    uint8_t cloudLayerShown[4] = {};
    std::unique_ptr<ParaSlot[]> paraSlots; // null when none
    uint32_t paraQueueIndex = 0; // where para emitters join the scene renderer's queues
    uint32_t paraSlotCount = 0;  // as paraPrealloc last set it
    // Bit 0 of the ParaReply flags.
    uint8_t statusFlag = 0;
};

// Null unless a scene has been set.
RemoteScene* GetRemoteScene();
// Makes `scene` the one the handlers act on (null for none); not owned.
void SetRemoteScene(RemoteScene* scene);
