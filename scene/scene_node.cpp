#include "scene/scene_node.h"

#include "kernel/archive.h"
#include "script/script_handles.h"

SceneNode::SceneNode()
{
    worldMatrix.SetIdentity();
}

SceneNode::~SceneNode()
{
    // Scripts hold the node's own address as their handle's object.
    ForgetScriptHandle(this);
    components.clear();
    DetachNode();
}

const float4x4* SceneNode::GetWorldMatrix()
{
    if (isStatic && worldMatrixValid)
        return &worldMatrix;
    transform.RefreshMatrices();
    worldMatrix = transform.scaleMatrix * transform.rotationMatrix * transform.translationMatrix;
    if (SceneNode* parent = GetParentNode())
        worldMatrix = worldMatrix * *parent->GetWorldMatrix();
    if (isStatic)
        worldMatrixValid = 1;
    worldDirty = 0;
    return &worldMatrix;
}

float4x4& SceneNode::GetWorldRotationMatrix(float4x4& out)
{
    transform.RefreshRotationMatrix();
    float4x4 m = transform.rotationMatrix;
    if (SceneNode* parent = GetParentNode()) {
        float4x4 parentRotation;
        m = m * parent->GetWorldRotationMatrix(parentRotation);
    }
    out = m;
    return out;
}

quat& SceneNode::GetWorldRotation(quat& out)
{
    quat q = transform.rotation;
    if (SceneNode* parent = GetParentNode()) {
        quat p;
        q = QuatMultiply(parent->GetWorldRotation(p), q);
    }
    out = q;
    return out;
}

float SceneNode::GetBoundingRadius()
{
    return radius;
}

void SceneNode::Serialize(Archive& archive)
{
    SerializeNode(archive);
}

void SceneNode::SerializeNode(Archive& archive)
{
    if (archive.IsReading())
        SetComponentName(archive.scratch);
    archive.Float(radius);
    bool staticFlag = isStatic != 0;
    archive.Bool(staticFlag);
    if (archive.IsReading())
        isStatic = staticFlag ? 1 : 0;
    SerializeResource(archive, transform);
}

void SceneNode::OnNodeMessage(ComponentMessage* message)
{
    if (message->id == IMSG_GIVE_WORLDMATRIX) {
        ComponentMessage answer;
        answer.id = IMSG_SUPPLY_WORLDMATRIX;
        answer.SetObject(&transform);
        SendMessage(message->sender, answer);
    }
    if (message->id == IMSG_GIVE_SCENENODE) {
        ComponentMessage answer;
        answer.id = IMSG_SUPPLY_SCENENODE;
        answer.SetObject(this);
        SendMessage(message->sender, answer);
    }
}

void SceneNode::SetPosition(const float4& value)
{
    transform.SetPosition(value);
    worldDirty = 1;
}

void SceneNode::SetRotation(const quat& value)
{
    transform.SetRotation(value);
    worldDirty = 1;
}

void SceneNode::SetScale(const float4& value)
{
    transform.SetScale(value);
    worldDirty = 1;
}
