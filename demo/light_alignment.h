#pragma once
// Light alignment to the view: while the left mouse button is held the
// demonstration's light turns to the viewer. The light node takes over the
// view camera's own position, rotation and scale; each light camera moves onto
// the plane through the viewer square to the viewing direction, to the point
// from which its own shadow caster lies straight ahead, and turns like the
// light node; a material's "lht" becomes the viewing direction with x and y
// negated. Nothing is undone on release: the last placement stays. The
// demonstration runs it for each material (ShadowDemo::AlignLightToView).
#include "demo/shadow_atlas_tiles.h"
#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"

class CameraNode;
class SceneNode;

// "lht" for a light turned by the world rotation matrix: its third row (the
// local z axis in world space) times (-1, -1, 1, 1).
float4 LightDirectionParam(const float4x4& worldRotation);
// The same from a node's world rotation.
float4 LightDirectionParam(SceneNode& light);

// The placement alone: the light node given the view camera's own (not its
// world) position, rotation and scale, then each light camera placed in the
// light node's plane beside its caster centre and given the light node's
// rotation, as the start-up places them. The work depends on no material and
// gives the same result each time it runs in a frame. When the light node's
// world matrix cannot be inverted (a zero scale taken over from the view
// camera) the light cameras keep their positions and only turn, and the
// result is false.
bool PlaceLightAtView(const SceneNode& viewCamera, CameraNode& lightNode, CameraNode (&lightCameras)[kCasterCount],
                      const float4 (&casterCentres)[kCasterCount]);
