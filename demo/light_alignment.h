#pragma once
// Light alignment to the view: while the left mouse button is held the
// demonstration's light turns to the viewer. The light node takes over the
// view camera's own position, rotation and scale; each light camera moves onto
// the plane through the viewer square to the viewing direction, to the point
// from which its own shadow caster lies straight ahead, and turns like the
// light node; a material's "lht" becomes the viewing direction with x and y
// negated. Nothing is undone on release: the last placement stays.
#include "demo/light_rig.h"
#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"

class CameraNode;
class Effect;
class SceneNode;

// "lht" for a light turned by the world rotation matrix: its third row (the
// local z axis in world space) times (-1, -1, 1, 1).
float4 LightDirectionParam(const float4x4& worldRotation);
// The same from a node's world rotation.
float4 LightDirectionParam(SceneNode& light);

// The demonstration's members the alignment reads and moves; none owned.
struct LightAlignmentNodes {
    SceneNode* viewCamera = nullptr;  // read: own transform values and world rotation
    SceneNode* lightNode = nullptr;   // written: position, rotation, scale
    CameraNode* lightCameras[kLightCameraCount] = {};  // written: position, rotation
    const float4* casterCentres = nullptr; // kLightCameraCount world-space caster centres
};

// One material's alignment step: nothing unless mouse button 0 was held at
// the frame's poll; then "lht" on the effect (when there is one) and the light
// node and light cameras placed as above. The work besides "lht" depends on
// no material and gives the same result each time it runs in a frame. When the
// light node's world matrix cannot be inverted (a zero scale taken over from
// the view camera) the light cameras keep their positions and only turn.
void AlignLightToView(Effect* effect, const LightAlignmentNodes& nodes);

// The placement alone, regardless of the button; false when the light
// cameras' positions were kept because the light node's matrix is singular.
bool PlaceLightAtView(const LightAlignmentNodes& nodes);
