#pragma once
// MeshNode: a scene node that carries a mesh. Its bounding radius is worked
// out from the mesh's subsets and its children the first time it is asked
// for, then kept. In node files its mesh follows inline, or, from format
// version 1 on, may be named instead: the mesh is then taken from that node file.
#include <cstdint>
#include <string>

#include "render/mesh.h"
#include "scene/scene_node.h"

class alignas(16) MeshNode : public SceneNode {
public:
    MeshNode();
    ~MeshNode() override;

    // The radius of the sphere about the origin holding every subset's
    // bounding sphere and every child's; "BUG" and 0 without mesh data.
    float GetBoundingRadius() override;

    void Serialize(Archive& archive) override;

    // Takes the mesh of the node file `fileName` and marks it loaded. The
    // node's own name and placement stay. A file that leaves no mesh, or that
    // names a node file already being read, is reported and nothing changes.
    // Always false.
    bool LoadByName(const std::string& fileName) override;

    MeshResource mesh;
    uint8_t castsShadow = 1;
};
