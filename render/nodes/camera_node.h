#pragma once
// CameraNode: a scene node that looks along its local +z axis (+y up, +x
// right, left-handed) from its world placement. It builds a perspective or an
// orthographic projection, its view (the inverse world matrix) and their
// products on every request, projects points to the viewport and, when
// applied, hands the render device pointers to its own matrices and becomes
// the active camera. A camera that goes away takes those pointers with it.
#include <cstdint>

#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"
#include "scene/scene_node.h"

// Six planes (a, b, c, d), in the order left, right, top, bottom, near, far,
// and the transpose of the matrix they were built from. A point is inside when
// a x + b y + c z + d >= 0 for all six.
struct alignas(16) CameraFrustum {
    enum Plane { kLeft = 0, kRight, kTop, kBottom, kNear, kFar, kPlaneCount };

    CameraFrustum() { InitCameraFrustum(); }
    void InitCameraFrustum();
    // With M = view x projection the planes are in world space.
    void BuildFrustumPlanes(const float4x4& m);

    float4 planes[kPlaneCount];
    float4x4 matrix;
};

// The bounding radius that once selected another perspective path; both give
// the same matrix, so a camera marked with it projects like any other.
inline constexpr float kAlternatePerspectiveRadius = 12345.0f;

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
