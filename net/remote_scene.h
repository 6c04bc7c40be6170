#pragma once
// RemoteScene: the scene that an outside program steers through the network
// link, reached through one process-wide pointer. Nothing in the engine builds
// one, so the pointer stays null and every task handler of the link returns at
// once. What is here is what the setWeather handler acts on: the weather state
// it keeps, the cloud layer and the effects it sets; the scene's nodes,
// terrain, sky and para objects are not part of this object. The cloud layer,
// materials and effects belong to whoever builds the scene; null ones are
// passed over.
#include <cstdint>
#include <vector>

#include "kernel/math/float4.h"
#include "render/cloud_layer.h"
#include "render/material.h"

class Effect;

struct alignas(16) RemoteScene {
    CloudLayer cloudLayer;
    float cloudBottomHeight = 0.0f;
    float timeOfDayAngle = 0.0f;
    // The wind every para object's particles follow.
    float4 windVector{};
    // Bit 0 of the ParaReply flags.
    uint8_t statusFlag = 0;
    // Current on/off state of two cloud layers (kept by the scene's own update).
    uint8_t cloudToggleA = 0;
    uint8_t cloudToggleB = 0;
    // Elements 0-2: switch requests for three cloud layers; element 3: the
    // current state of the second cloud effect's layer.
    uint8_t cloudLayerShown[4] = {};
    // Their effects take "FOGAFFECTSALPHA".
    std::vector<MaterialResource*> fogMaterials;
    // The two further cloud layers' effects; they take "percentToShow".
    Effect* cloudEffectA = nullptr;
    Effect* cloudEffectB = nullptr;
    // The star object's material; its effect takes "starBright".
    MaterialResource* starMaterial = nullptr;
};

// Null unless a scene has been set.
RemoteScene* GetRemoteScene();
// Makes `scene` the one the handlers act on (null for none); not owned.
void SetRemoteScene(RemoteScene* scene);
