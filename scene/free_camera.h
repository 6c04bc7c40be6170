#pragma once
// FreeCamera: the per-frame object that flies a scene node. Attached to a
// composite it asks for the composite's scene node, keeps the nodes it is
// given and binds its four movement actions (cameraFWD, cameraBWD, cameraLEFT,
// cameraRIGHT of section Controls). Each frame it turns its nodes by the
// smoothed mouse movement and moves them along their own axes by what the held
// keys asked for since the last frame. The move is used up by the node that
// makes it: with two nodes gathered, both turn but only the first moves.
//
// Both the node gathering and the camera's own handling ask for the node, so
// an attachment binds each action twice: a held key moves 2 x speed units
// per second.
#include <vector>

#include "kernel/math/float4.h"
#include "scene/dynamic.h"

class SceneNode;

class alignas(16) FreeCamera : public Dynamic {
public:
    FreeCamera();
    // Also takes back its key bindings, so none outlives it.
    ~FreeCamera() override;

    // GatherSceneNodes, then the camera's own handling; no script is asked for.
    void OnMessage(ComponentMessage* message) override;
    void GatherSceneNodes(ComponentMessage* message);
    void BindCameraControls();

    // UpdateControlledNodes: UpdateNode on each gathered node, in order.
    void Update() override;
    // Turns the node by the smoothed mouse (the smoothing steps once per call)
    // and, when a move was asked for, moves it by that move, both scaled by the
    // frame step; the move is then used up.
    virtual void UpdateNode(SceneNode* node);

    std::vector<SceneNode*> nodes;
    float smoothX = 0.0f;
    float smoothY = 0.0f;
    float4 move;         // asked for since the last update, in the node's own axes
    uint8_t moved = 0;
    float mouseScale = 1.0f; // on both mouse axes
    float smoothing = 30.0f; // frames, taken as an integer; 1 or less: no smoothing
    float xScale = 1.0f;     // horizontal mouse: the turn about the parent's y axis
    float yScale = 1.0f;     // vertical mouse: the turn about the node's own x axis
    float speed = 1.0f;      // per action message, units per second
};
