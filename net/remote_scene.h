#pragma once
// RemoteScene: the scene that an outside program steers through the network
// link, reached through one process-wide pointer. Nothing in the engine builds
// one, so the pointer stays null and every task handler of the link returns at
// once. What is here is the weather state the setWeather handler keeps; the
// scene's nodes, terrain, cloud layers, sky and para objects are not part of
// this object.
#include <cstdint>

#include "kernel/math/float4.h"

struct alignas(16) RemoteScene {
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
};

// Null unless a scene has been set.
RemoteScene* GetRemoteScene();
// Makes `scene` the one the handlers act on (null for none); not owned.
void SetRemoteScene(RemoteScene* scene);
