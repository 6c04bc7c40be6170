#pragma once
// SceneNode: a node of the scene graph. It is a component (it answers the
// scene-node and world-matrix requests of its parts' controllers), a place in
// a parent-and-children hierarchy of other scene nodes, and a local placement
// whose world matrix is scale x rotation x translation x the parent's world
// matrix. A static node computes its world matrix once and keeps it.
#include <cstdint>
#include <string>

#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"
#include "kernel/math/quat.h"
#include "kernel/node_hierarchy.h"
#include "kernel/serializable_object.h"
#include "scene/transform.h"
#include "script/component.h"

class Archive;

namespace scene_node_kind {
inline constexpr uint16_t kPlain = 0;
inline constexpr uint16_t kMesh = 1;
inline constexpr uint16_t kCamera = 2;
inline constexpr uint16_t kLight = 3;
} // namespace scene_node_kind

class alignas(16) SceneNode : public SerializableObject, public Component, public NodeHierarchy {
public:
    SceneNode();
    ~SceneNode() override;

    // The parent as a scene node (a scene node's hierarchy links scene nodes only).
    SceneNode* GetParentNode() const { return static_cast<SceneNode*>(GetParent()); }

    // The world matrix brought up to date through the parent chain.
    const float4x4* GetWorldMatrix();
    // The rotation alone in world space.
    float4x4& GetWorldRotationMatrix(float4x4& out);
    quat& GetWorldRotation(quat& out);

    virtual float GetBoundingRadius();

    // Name, bounding radius, static flag and the framed transform.
    void Serialize(Archive& archive) override;
    void SerializeNode(Archive& archive);

    // The node's name is its component name.
    void SetName(const std::string& text) override { SetComponentName(text); }

    // Answers IMSG_GIVE_WORLDMATRIX and IMSG_GIVE_SCENENODE to the asker.
    void OnMessage(ComponentMessage* message) override { OnNodeMessage(message); }
    void OnNodeMessage(ComponentMessage* message);

    // Store one local value and mark the world matrix out of date.
    void SetPosition(const float4& value);
    void SetRotation(const quat& value);
    void SetScale(const float4& value);

    float4x4 worldMatrix;
    uint8_t worldMatrixValid = 0; // a static node's world matrix has been computed
    float radius = 0.0f;          // bounding sphere about the origin, children included
    uint8_t visible = 1;
    uint8_t instancing = 1;
    uint8_t isStatic = 0;
    uint8_t worldDirty = 1;       // a local value changed since the world matrix was last built
    Transform transform;
    uint16_t kind = scene_node_kind::kPlain;
};
