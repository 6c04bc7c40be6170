#pragma once
// CameraNode: a scene node that looks along its local +z axis (+y up, +x
// right, left-handed) from its world placement. It builds a perspective or an
// orthographic projection, its view (the inverse world matrix) and their
// products on every request, projects points to the viewport and, when
// applied, hands the render device pointers to its own matrices and becomes
// the active camera. A camera that goes away takes those pointers with it.
// The maths itself (frustum, projections) is the scene's; the node adds what
// needs the render device: the viewport's size and the matrices handed over.
#include <cstdint>

#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"
#include "scene/camera_frustum.h"
#include "scene/camera_projection.h"
#include "scene/scene_node.h"

class alignas(16) CameraNode : public SceneNode {
public:
    CameraNode();
    ~CameraNode() override;

    void SetFov(float value) { fov = value; }
    void SetNear(float value) { nearClip = value; }
    void SetFar(float value) { farClip = value; }

    // Each recomputes its matrix (with those it depends on) and returns the
    // address of the camera's own copy.
    const float4x4* GetProjectionMatrix();
    const float4x4* GetViewMatrix();
    const float4x4* GetViewProjMatrix();
    const float4x4* GetInvViewProjMatrix();

    // p through the view (viewOnly) or view-projection matrix to viewport
    // coordinates: x from 0 (left) to 1 (right), y from 0 (top) to 1 (bottom),
    // or pixels of the current viewport when not normalized. With cull, a point
    // behind the camera gives four times -1000000.
    float4& ProjectToViewport(float4& out, const float4& p, bool cull, bool normalized, bool viewOnly);

    // Gives the render device the camera's matrices, makes it the active
    // camera and rebuilds the frustum.
    void ApplyCamera();

    float4x4 viewMatrix;
    float4x4 projectionMatrix;
    float4x4 viewProjMatrix;
    float4x4 invViewProjMatrix;
    float fov = 1.3962634f;   // perspective: vertical angle (radians); orthographic: world units per pixel
    float nearClip = 0.1f;
    float farClip = 1000.0f;
    float aspect = 0.0f;      // viewport width / height, set at the first projection
    CameraFrustum frustum;
    uint8_t orthographic = 0;
    uint8_t secondProjection = 0; // with orthographic: the second orthographic form
    uint16_t viewportWidth = 0;
    uint16_t viewportHeight = 0;  // 0: not cached yet
};

// The camera the traversal follows by default; null until a camera exists.
CameraNode* GetActiveCamera();
void SetActiveCamera(CameraNode* camera);
// The active-camera variable itself, for those that follow whichever camera is active.
CameraNode** GetActiveCameraSlot();
