#include "net/remote_scene.h"

#include <atomic>
#include <cmath>

#include "kernel/math/float4x4.h"
#include "net/value_listener.h"
#include "net/world_placement.h"
#include "render/effects/effect.h"

namespace {

std::atomic<RemoteScene*> remoteScene{nullptr};

constexpr float kFrameValue = 100.0f;
// Axes closer than this (the cosine of their angle) are taken as one.
constexpr float kAlignedCosine = 0.999994f;

void SetVisible(SceneNode* node, uint8_t visible)
{
    if (node)
        node->visible = visible;
}

// Nodes first to first + count of a loaded scene (as many as it has).
void SetSceneVisible(Scene& scene, uint32_t first, uint32_t count, uint8_t visible)
{
    SceneList<SceneNode>* nodes = scene.Nodes();
    for (uint32_t i = first; nodes && i < nodes->count && i - first < count; ++i)
        SetVisible(nodes->items[i], visible);
}

void SetTint(MaterialResource& material, const float4& colour)
{
    if (Effect* effect = material.GetEffect())
        effect->SetVector("diffuseColor", &colour);
}

// The list's entries in order, its size read again before each call.
void Notify(const std::vector<ValueListener*>& listeners, float value)
{
    for (size_t i = 0; i < listeners.size(); ++i) {
        if (ValueListener* listener = listeners[i])
            listener->OnValue(value);
    }
}

float4 Row2(const float4x4& m)
{
    return m.Row(2);
}

// A unit axis at right angles to b (b need not be unit).
float3 PerpendicularTo(const float3& b)
{
    const float3 other = std::fabs(b.x) < 0.9f ? float3{1.0f, 0.0f, 0.0f} : float3{0.0f, 1.0f, 0.0f};
    const float3 c = Cross(b, other);
    const float length = Length(c);
    return length > 0.0f ? c * (1.0f / length) : float3{0.0f, 0.0f, 1.0f};
}

} // namespace

RemoteScene* GetRemoteScene()
{
    return remoteScene.load(std::memory_order_acquire);
}

void SetRemoteScene(RemoteScene* scene)
{
    remoteScene.store(scene, std::memory_order_release);
}

RemoteScene::RemoteScene()
{
    sky.timeOfDay = &timeOfDayAngle;
}

RemoteScene::~RemoteScene()
{
    if (GetRemoteScene() == this)
        SetRemoteScene(nullptr);
    paraSlots.reset();
}

float RemoteScene::TerrainHeightAt(float x, float z) const
{
    return HeightfieldHeight(terrain, x, z);
}

void RemoteScene::ResetSceneColour()
{
    SetTint(tintEffect, float4{0.5f, 0.5f, 0.5f, 1.0f});
    for (MeshNode& node : normalNodes)
        node.visible = 1;
    SetSceneVisible(normalGroupA, 0, 2, 1);
    SetVisible(modeTwoNode, 0);
    SetSceneVisible(modeTwoGroup, 0, UINT32_MAX, 0);
    SetSceneVisible(normalGroupB, 0, 1, 1);
}

void RemoteScene::SetupSceneMode2()
{
    // Presentation.
    timerLimit = listenerValue;
    for (MeshNode& node : normalNodes)
        node.visible = 0;
    SetSceneVisible(normalGroupA, 0, 2, 0);
    SetVisible(modeTwoNode, 1);
    SetSceneVisible(normalGroupB, 0, 1, 0);
    SetTint(tintEffect, float4{1.0f, 1.0f, 1.0f, 1.0f});
    SetSceneVisible(modeTwoGroup, 0, UINT32_MAX, 1);
    Notify(valueListeners, listenerValue);
    forwardOffset = float4{0.0f, 0.0f, 0.0f, 0.0f};
    Notify(fixedValueListeners, kFrameValue);
    for (MaterialResource& material : frameEffects) {
        if (Effect* effect = material.GetEffect()) {
            if (float* frame = effect->GetFloatParam("vFrame"))
                *frame = kFrameValue;
        }
    }
    timerLimit = 0.0;

    // Placement.
    if (anchorNode) {
        float4x4 anchorRotation;
        const float4 term = MulComponents(Row2(anchorNode->GetWorldRotationMatrix(anchorRotation)), forwardOffset);
        const float4 anchor = anchorNode->GetWorldMatrix()->Row(3);
        alignedNode.SetPosition((anchor + alignedNodeOffset) + term);
    }

    // Turn the aligned node's forward axis (as its cached matrix has it) by
    // the shortest arc onto the probe's.
    float4x4 probeRotation;
    const float4 a4 = Row2(probeNode.GetWorldRotationMatrix(probeRotation));
    const float4 b4 = Row2(alignedNode.transform.rotationMatrix);
    const float3 a = a4.XYZ();
    const float3 b = b4.XYZ();
    const float3 c = Cross(a, b);
    const float length = Length(c);
    float3 n = length > 0.0f ? c * (1.0f / length) : float3{0.0f, 0.0f, 0.0f};
    const float d = Dot(a, b);
    const float t = d > 1.0f ? 1.0f : (d < -1.0f ? -1.0f : d);
    if (t < kAlignedCosine) {
        // Opposite axes give no axis of their own: any one at right angles
        // to b turns b onto a by half a turn.
        if (length == 0.0f)
            n = PerpendicularTo(b);
        const float h = std::acos(t) * 0.5f;
        const float s = std::sin(h);
        const quat r = quat{}.SetXYZW(-n.x * s, -n.y * s, -n.z * s, std::cos(h));
        alignedNode.SetRotation(QuatMultiply(r, alignedNode.transform.rotation));
    }

    if (followerNode && anchorNode) {
        const float4 p = anchorNode->GetWorldMatrix()->Row(3);
        SetWorldPosition(*followerNode, p.XYZ());
        quat g;
        probeNode.GetWorldRotation(g);
        SetWorldRotation(*followerNode, g);
    } else if (followerNode) {
        quat g;
        probeNode.GetWorldRotation(g);
        SetWorldRotation(*followerNode, g);
    }
}
