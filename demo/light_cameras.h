#pragma once
// The demonstration's cameras as start-up sets them: the orthographic camera
// of the directional light, the four orthographic shadow cameras (one per
// caster, "Object01" to "Object04", sized from the caster's bounding radius and
// placed in the light's own x-y plane on the line through the caster along the
// light direction) with the caster radii handed to the lit effect, and the view
// camera flown by the free camera. The placement rule is also what the frame
// reruns while the light follows the view.
#include <cstdint>

#include "demo/shadow_atlas_tiles.h"
#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"

class CameraNode;
class FreeCamera;
class Scene;
class SceneNode;

// World units per back-buffer pixel for each radius unit: 1/370, and 1/740 for
// the fourth caster, which enters every derived value with half its radius.
inline constexpr float kLightCameraScale = 0.0027027028f;
inline constexpr float kLastLightCameraScale = 0.0013513514f;

// Step 1: the light at (-20, 28.11, -21) turned by (45, 45, 0) degrees,
// orthographic with 0.011 world units per pixel.
void SetDirLightCameraPose(CameraNode& dirLightCamera);

// The light camera's field (world units per pixel) and the effect's caster
// radius (all four lanes) for caster `index` with bounding radius r.
float LightCameraFov(uint32_t index, float radius);
float4 CasterRadiusValue(uint32_t index, float radius);

// The bounding radius of the first subset of the node's mesh. False, with the
// node named in the error box, when the node is not a mesh node with a subset
// or the radius is not a positive finite number (a camera of zero size would
// project to infinity); a null node is left to whoever failed to find it.
bool CasterBoundingRadius(SceneNode* node, float& radius);

// Step 2: each light camera's field and each caster radius from its caster's
// bounding radius, the casters looked up in the scene by name. A caster that
// is missing or unusable is reported and its camera and radius are left as
// they were; the others are still set. True when all four were set.
bool SetLightCameraScales(Scene& scene, CameraNode (&lightCameras)[kCasterCount],
                          float4 (&casterRadius)[kCasterCount]);

// The same over casters already looked up (null: missing, reported by the
// lookup and skipped here without a further report).
bool SetLightCameraScales(SceneNode* const (&casters)[kCasterCount], CameraNode (&lightCameras)[kCasterCount],
                          float4 (&casterRadius)[kCasterCount]);

// Step 3: the light's world matrix and its general inverse. The light has
// unit scale and no parent, so the inverse always exists; a singular matrix is
// not detected and gives non-finite elements.
struct alignas(16) LightPlaneFrame {
    float4x4 world;
    float4x4 inverse;
};
LightPlaneFrame TakeLightPlaneFrame(CameraNode& dirLightCamera);

// The light camera's position for one caster position: the light's position
// plus the part of the caster's offset that lies in the light's x-y plane.
float4 LightCameraPosition(const LightPlaneFrame& frame, const float4& lightPosition, const float4& casterPosition);

// Each light camera moved to its caster's place in the light plane and given
// the light's rotation, bit for bit, with their change flags. This is also the
// frame's rerun, which leaves the orthographic flags alone.
void PlaceLightCameras(const LightPlaneFrame& frame, const CameraNode& dirLightCamera,
                       const float4 (&casterPositions)[kCasterCount], CameraNode (&lightCameras)[kCasterCount]);

// Step 4: the placement above, then each light camera made orthographic.
void PoseLightCameras(const LightPlaneFrame& frame, const CameraNode& dirLightCamera,
                      const float4 (&casterPositions)[kCasterCount], CameraNode (&lightCameras)[kCasterCount]);

// Step 5: the free camera tuned and attached to the view camera, which gets
// its clip range, field, marked radius and starting pose.
void SetUpViewCamera(CameraNode& viewCamera, FreeCamera& freeCamera);
