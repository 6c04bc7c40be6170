#pragma once
// MeshNode: a scene node that carries a mesh. Its bounding radius is worked
// out from the mesh's subsets and its children the first time it is asked
// for, then kept. In node files its mesh follows inline, or, from format
// version 1 on, may be named instead: the node then shares the mesh registered
// under that name.
#include <cstdint>
#include <string>

#include "render/resources/mesh.h"
#include "scene/scene_node.h"

class alignas(16) MeshNode : public SceneNode {
public:
    MeshNode();
    ~MeshNode() override;

    // The radius of the sphere about the origin holding every subset's
    // bounding sphere and every child's; "BUG" and 0 without mesh data.
    float GetBoundingRadius() override;

    void Serialize(Archive& archive) override;

    // Reads the node file `fileName` into this node and marks its mesh loaded.
    // A file that cannot be read or leaves no mesh is reported ("No mesh in
    // node file: ") and nothing is marked. Always false.
    bool LoadByName(const std::string& fileName) override;

    MeshResource mesh;
    uint8_t castsShadow = 1;
};
