#include "render/nodes/camera_node.h"

#include <cmath>

#include "kernel/math/projection.h"
#include "render/device/render_device.h"

namespace {
CameraNode* activeCamera = nullptr;

float PlaneLength(const float4& p)
{
    return std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
}

float4 Column(const float4x4& m, int j)
{
    return {m(0, j), m(1, j), m(2, j), m(3, j)};
}
} // namespace

CameraNode* GetActiveCamera()
{
    return activeCamera;
}

void SetActiveCamera(CameraNode* camera)
{
    activeCamera = camera;
}

CameraNode** GetActiveCameraSlot()
{
    return &activeCamera;
}

void CameraFrustum::InitCameraFrustum()
{
    for (float4& plane : planes)
        plane = float4{};
    matrix.SetIdentity();
}

void CameraFrustum::BuildFrustumPlanes(const float4x4& m)
{
    matrix = Transpose(m);
    const float4 c0 = Column(m, 0), c1 = Column(m, 1), c2 = Column(m, 2), c3 = Column(m, 3);
    planes[kLeft] = c3 + c0;
    planes[kRight] = c3 - c0;
    planes[kTop] = c3 - c1;
    planes[kBottom] = c3 + c1;
    planes[kNear] = c2;
    planes[kFar] = c3 - c2;
    for (float4& plane : planes) {
        const float length = PlaneLength(plane);
        plane = float4{plane.x / length, plane.y / length, plane.z / length, plane.w / length};
    }
}

CameraNode::CameraNode()
{
    kind = scene_node_kind::kCamera;
    viewMatrix.SetIdentity();
    projectionMatrix.SetIdentity();
    viewProjMatrix.SetIdentity();
    invViewProjMatrix.SetIdentity();
    if (!activeCamera)
        activeCamera = this;
}

CameraNode::~CameraNode()
{
    // Nothing may go on reading a camera that is gone.
    if (activeCamera == this)
        activeCamera = nullptr;
    if (!RendererExists())
        return;
    GetRenderer()->ForgetCameraIn(this, this + 1);
}

const float4x4* CameraNode::GetProjectionMatrix()
{
    if (viewportHeight == 0) {
        uint32_t width = 0, height = 0;
        if (RendererExists()) {
            const gfx::Viewport& viewport = GetRenderer()->BackBufferTarget().viewport;
            width = viewport.width;
            height = viewport.height;
        }
        viewportWidth = static_cast<uint16_t>(width);
        viewportHeight = static_cast<uint16_t>(height);
        aspect = static_cast<float>(viewportWidth) / static_cast<float>(viewportHeight);
    }
    const float w = static_cast<float>(viewportWidth) * fov;
    const float h = static_cast<float>(viewportHeight) * fov;
    // The marked radius (kAlternatePerspectiveRadius) takes the same matrix.
    if (!orthographic) {
        projectionMatrix = PerspectiveFovLH(fov, aspect, nearClip, farClip);
    } else if (!secondProjection) {
        projectionMatrix = OrthographicLH(w, h, nearClip, farClip);
    } else {
        projectionMatrix = OrthographicLH(w, h, nearClip, farClip);
        projectionMatrix(2, 3) = -nearClip / (farClip - nearClip);
        projectionMatrix(3, 2) = 0.0f;
    }
    return &projectionMatrix;
}

const float4x4* CameraNode::GetViewMatrix()
{
    viewMatrix = Inverse(*GetWorldMatrix());
    return &viewMatrix;
}

const float4x4* CameraNode::GetViewProjMatrix()
{
    const float4x4& projection = *GetProjectionMatrix();
    const float4x4& view = *GetViewMatrix();
    viewProjMatrix = view * projection;
    return &viewProjMatrix;
}

const float4x4* CameraNode::GetInvViewProjMatrix()
{
    invViewProjMatrix = Inverse(*GetViewProjMatrix());
    return &invViewProjMatrix;
}

float4& CameraNode::ProjectToViewport(float4& out, const float4& p, bool cull, bool normalized, bool viewOnly)
{
    const float4x4& m = viewOnly ? *GetViewMatrix() : *GetViewProjMatrix();
    const float4 c = TransformFloat4(p, m);
    if (cull && c.z < 0.0f) {
        out = Splat(-1000000.0f);
        return out;
    }
    const float4 n{c.x / c.w, c.y / c.w, c.z / c.w, c.w / c.w};
    float4 r{n.x * 0.5f + 0.5f, n.y * -0.5f + 0.5f, 0.5f, 0.5f};
    if (!normalized) {
        uint32_t width = 0, height = 0;
        if (RendererExists()) {
            // Before any target has been bound the back buffer's viewport holds.
            const gfx::Viewport& viewport = GetRenderer()->CurrentViewport();
            width = viewport.width;
            height = viewport.height;
        }
        r = float4{r.x * static_cast<float>(width), r.y * static_cast<float>(height), 0.0f, 0.0f};
    }
    out = r;
    return out;
}

void CameraNode::ApplyCamera()
{
    CameraMatrices matrices;
    matrices.viewProj = GetViewProjMatrix();
    matrices.invViewProj = GetInvViewProjMatrix();
    matrices.view = GetViewMatrix();
    matrices.projection = GetProjectionMatrix();
    matrices.cameraWorld = GetWorldMatrix();
    GetRenderer()->SetCamera(matrices);
    activeCamera = this;
    frustum.BuildFrustumPlanes(viewProjMatrix);
}
