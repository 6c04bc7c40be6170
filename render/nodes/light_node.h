#pragma once
// LightNode: a scene node that lights the scene. The traversal of the scene
// renderer meets it like a mesh node and adds its record to the frame light
// list: its colour, its direction (the node's local +z axis: the third row of
// its local rotation, the parent's rotation not applied), its type and flag.
// Ambient lights after the first add their colour to the first one instead.
#include <cstdint>

#include "kernel/math/float4.h"
#include "render/frame/draw_record.h"
#include "scene/scene_node.h"

class alignas(16) LightNode : public SceneNode {
public:
    explicit LightNode(uint32_t type = kLightDirectional);

    // The record filled from the node: colour, direction, type and flag.
    LightRecord& FillLightRecord();

    float4 colour = {1.0f, 1.0f, 1.0f, 1.0f};
    uint32_t lightType;
    uint8_t lightFlag = 0;
    LightRecord record;
};
