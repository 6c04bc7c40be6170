#include "scene/scene_node_script.h"

#include "kernel/math/float3.h"
#include "kernel/math/quat.h"
#include "scene/scene_node.h"
#include "script/script_handles.h"

using namespace AngelScript;

namespace {
SceneNode* NodeOf(int32_t handle)
{
    return ScriptObjectAs<SceneNode>(handle, ScriptHandleKind::SceneNode);
}

int32_t ScriptGetNode()
{
    void* node = GetSceneNodeScriptBinding().RequestComponent();
    return node ? ScriptHandleOf(node, ScriptHandleKind::SceneNode) : 0;
}

// Rows of the rotation matrix as last rebuilt, so a rotation set in this run
// shows only after the next world-matrix computation.
float3 ScriptGetNodeDir(int32_t handle)
{
    SceneNode* node = NodeOf(handle);
    return node ? node->transform.rotationMatrix.Row(2).XYZ() : float3{};
}

float3 ScriptGetNodeRight(int32_t handle)
{
    SceneNode* node = NodeOf(handle);
    return node ? node->transform.rotationMatrix.Row(0).XYZ() : float3{};
}

float3 ScriptGetNodePos(int32_t handle)
{
    SceneNode* node = NodeOf(handle);
    return node ? node->transform.position.XYZ() : float3{};
}

quat ScriptGetNodeRot(int32_t handle)
{
    SceneNode* node = NodeOf(handle);
    return node ? node->transform.rotation : quat{};
}

void ScriptSetNodePos(int32_t handle, float3 position)
{
    if (SceneNode* node = NodeOf(handle))
        node->SetPosition(float4{position.x, position.y, position.z, 1.0f});
}

void ScriptSetNodeRot(int32_t handle, quat rotation)
{
    if (SceneNode* node = NodeOf(handle))
        node->SetRotation(rotation);
}

class SceneNodeScriptBinding : public ScriptBinding {
public:
    SceneNodeScriptBinding()
        : ScriptBinding(ScriptBindingOrder::SceneNode, IMSG_GIVE_SCENENODE, IMSG_SUPPLY_SCENENODE)
    {
        RegisterFunction("int GetNode()", asFUNCTION(ScriptGetNode));
        RegisterFunction("float3 GetNodeDir(int)", asFUNCTION(ScriptGetNodeDir));
        RegisterFunction("float3 GetNodeRight(int)", asFUNCTION(ScriptGetNodeRight));
        RegisterFunction("float3 GetNodePos(int)", asFUNCTION(ScriptGetNodePos));
        RegisterFunction("quat GetNodeRot(int)", asFUNCTION(ScriptGetNodeRot));
        RegisterFunction("void SetNodePos(int,float3)", asFUNCTION(ScriptSetNodePos));
        RegisterFunction("void SetNodeRot(int,quat)", asFUNCTION(ScriptSetNodeRot));
    }
};

SceneNodeScriptBinding sceneNodeScriptBinding;
} // namespace

ScriptBinding& GetSceneNodeScriptBinding()
{
    return sceneNodeScriptBinding;
}
