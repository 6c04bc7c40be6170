#include "demo/light_cameras.h"

#include <cmath>

#include "kernel/error_stream.h"
#include "render/nodes/camera_node.h"
#include "render/nodes/mesh_node.h"
#include "render/nodes/scene.h"
#include "scene/free_camera.h"

namespace {

// The mesh's first subset, or null when the node has no mesh data or no subset.
const IndexBufferData* FirstSubset(SceneNode& node)
{
    if (node.kind != scene_node_kind::kMesh)
        return nullptr;
    MeshData* mesh = static_cast<MeshNode&>(node).mesh.GetPayload();
    if (!mesh || !mesh->currentSubsets || mesh->currentSubsets->count == 0 || !mesh->currentSubsets->items)
        return nullptr;
    return mesh->currentSubsets->items[0].GetPayload();
}

} // namespace

void SetDirLightCameraPose(CameraNode& dirLightCamera)
{
    dirLightCamera.SetPosition({-20.0f, 28.11f, -21.0f, 1.0f});
    dirLightCamera.transform.SetRotationEuler(45.0f, 45.0f, 0.0f);
    dirLightCamera.worldDirty = 1;
    dirLightCamera.orthographic = 1;
    dirLightCamera.SetFov(0.011f);
}

float LightCameraFov(uint32_t index, float radius)
{
    return radius * (index == kCasterCount - 1 ? kLastLightCameraScale : kLightCameraScale);
}

float4 CasterRadiusValue(uint32_t index, float radius)
{
    return Splat(index == kCasterCount - 1 ? 1.0f / radius : 1.0f / (radius + radius));
}

bool CasterBoundingRadius(SceneNode* node, float& radius)
{
    if (!node)
        return false;
    const IndexBufferData* subset = FirstSubset(*node);
    if (!subset) {
        errorTwoLines = false;
        GetErrorStream() << "Caster node has no mesh subset: " << node->name.chars << "\n";
        return false;
    }
    const float r = subset->subsetScalar;
    if (!std::isfinite(r) || r <= 0.0f) {
        errorTwoLines = false;
        GetErrorStream() << "Caster node has no bounding radius: " << node->name.chars << "\n";
        return false;
    }
    radius = r;
    return true;
}

namespace {

// Caster i's camera field and caster radius; false, leaving both, when the
// caster is missing or unusable.
bool ScaleLightCamera(uint32_t i, SceneNode* caster, CameraNode& camera, float4& radius)
{
    float r = 0.0f;
    if (!CasterBoundingRadius(caster, r))
        return false;
    camera.SetFov(LightCameraFov(i, r));
    radius = CasterRadiusValue(i, r);
    return true;
}

} // namespace

bool SetLightCameraScales(SceneNode* const (&casters)[kCasterCount], CameraNode (&lightCameras)[kCasterCount],
                          float4 (&casterRadius)[kCasterCount])
{
    bool all = true;
    for (uint32_t i = 0; i < kCasterCount; ++i)
        all = ScaleLightCamera(i, casters[i], lightCameras[i], casterRadius[i]) && all;
    return all;
}

bool SetLightCameraScales(Scene& scene, CameraNode (&lightCameras)[kCasterCount],
                          float4 (&casterRadius)[kCasterCount])
{
    // One lookup per caster serves both the field and the caster radius, so a
    // missing caster is reported once.
    bool all = true;
    for (uint32_t i = 0; i < kCasterCount; ++i)
        all = ScaleLightCamera(i, scene.FindNode(kCasterNodeNames[i]), lightCameras[i], casterRadius[i]) && all;
    return all;
}

LightPlaneFrame TakeLightPlaneFrame(CameraNode& dirLightCamera)
{
    LightPlaneFrame frame;
    frame.world = *dirLightCamera.GetWorldMatrix();
    frame.inverse = Inverse(frame.world);
    return frame;
}

float4 LightCameraPosition(const LightPlaneFrame& frame, const float4& lightPosition, const float4& casterPosition)
{
    // The caster in the light's own frame, its depth along the light and its w dropped...
    const float4 local = MulComponents(TransformFloat4(casterPosition, frame.inverse), float4{1.0f, 1.0f, 0.0f, 0.0f});
    // ...and what is left carried back along the light's x and y axes.
    return lightPosition + TransformFloat4(local, frame.world);
}

void PlaceLightCameras(const LightPlaneFrame& frame, const CameraNode& dirLightCamera,
                       const float4 (&casterPositions)[kCasterCount], CameraNode (&lightCameras)[kCasterCount])
{
    for (uint32_t i = 0; i < kCasterCount; ++i)
        lightCameras[i].SetPosition(LightCameraPosition(frame, dirLightCamera.transform.position, casterPositions[i]));
    for (uint32_t i = 0; i < kCasterCount; ++i)
        lightCameras[i].SetRotation(dirLightCamera.transform.rotation);
}

void PoseLightCameras(const LightPlaneFrame& frame, const CameraNode& dirLightCamera,
                      const float4 (&casterPositions)[kCasterCount], CameraNode (&lightCameras)[kCasterCount])
{
    PlaceLightCameras(frame, dirLightCamera, casterPositions, lightCameras);
    for (CameraNode& camera : lightCameras)
        camera.orthographic = 1;
}

void SetUpViewCamera(CameraNode& viewCamera, FreeCamera& freeCamera)
{
    freeCamera.smoothing = 100.0f;
    freeCamera.xScale = 3.0f;
    freeCamera.yScale = 3.0f;
    freeCamera.speed = 3.0f;
    viewCamera.AttachComponent(&freeCamera);

    viewCamera.SetNear(1.0f);
    viewCamera.SetFar(2000.0f);
    viewCamera.radius = kAlternatePerspectiveRadius;
    viewCamera.SetFov(0.45781732f);
    viewCamera.SetPosition({6.877f, 5.581f, 6.895f, 1.0f});
    viewCamera.transform.SetRotationEuler(25.0f, 220.0f, 0.0f);
    viewCamera.worldDirty = 1;
}
