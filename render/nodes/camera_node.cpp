#include "render/nodes/camera_node.h"

#include "render/device/render_device.h"

namespace {
CameraNode* activeCamera = nullptr;
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
    GetRenderer()->Frame().ForgetCameraIn(this, this + 1);
}

const float4x4* CameraNode::GetProjectionMatrix()
{
    if (viewportHeight == 0) {
        uint32_t width = 0, height = 0;
        if (RendererExists()) {
            const gfx::Viewport& viewport = GetRenderer()->Targets().BackBufferTarget().viewport;
            width = viewport.width;
            height = viewport.height;
        }
        viewportWidth = static_cast<uint16_t>(width);
        viewportHeight = static_cast<uint16_t>(height);
        aspect = static_cast<float>(viewportWidth) / static_cast<float>(viewportHeight);
    }
    projectionMatrix = CameraProjection(fov, aspect, nearClip, farClip, orthographic != 0, secondProjection != 0,
                                        viewportWidth, viewportHeight);
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
    uint32_t width = 0, height = 0;
    if (!normalized && RendererExists()) {
        // Before any target has been bound the back buffer's viewport holds.
        const gfx::Viewport& viewport = GetRenderer()->Targets().CurrentViewport();
        width = viewport.width;
        height = viewport.height;
    }
    out = ClipToViewport(TransformFloat4(p, m), cull, normalized, width, height);
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
    GetRenderer()->Frame().SetCamera(matrices);
    activeCamera = this;
    frustum.BuildFrustumPlanes(viewProjMatrix);
}
