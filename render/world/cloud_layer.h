#pragma once
// CloudLayer: the cloud meshes of the sky, one MeshNode and one render record
// per cloud, drawn with one cloud material. The weather sets how much of the
// sky is covered (the share of clouds shown, always the first ones in array
// order) and the height of the cloud bottoms. The owner builds the layer and
// keeps its arrays; the layer only points at them. Render thread.
#include <cstdint>

#include "kernel/math/float4.h"
#include "render/nodes/mesh_node.h"
#include "render/resources/material.h"

// What the renderer draws one cloud with.
struct alignas(16) CloudRecord {
    float4 heightSplat;  // the bottom height in all four lanes
    float height = 0.0f;
    float4 colour;       // (1, 1, 1, 1) shown, (0, 0, 0, 0) hidden
};

struct CloudLayer {
    MaterialResource::Data* material = nullptr; // the cloud material's block; its effect draws the clouds
    MeshNode* nodes = nullptr;                  // one per cloud, in cloud order
    uint32_t count = 0;                         // clouds, the length of both arrays
    CloudRecord* records = nullptr;             // one per cloud, in cloud order
    float cover = 0.0f;                         // share of clouds shown, 0..1
};

// Clamps the cover to 0..1 (a cover that is not a number counts as 0), stores
// it and shows the first count x cover clouds (truncated), hiding the rest.
void SetCloudCover(CloudLayer& layer, float cover);

// Moves every cloud node's bottom to height h (x and z kept, w 1), writes h
// into every record, and sets the material effect's "cumulusBottomHeight" to
// h - 3.0 (with no clouds too).
void SetCloudBottomHeight(CloudLayer& layer, float height);
