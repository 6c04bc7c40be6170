#pragma once
// Scene: a resource holding a list of materials and a list of scene nodes,
// both owned by it. It is loaded by name from a scene file (".ids"), or filled
// with fresh mesh nodes by CreateMeshNodes; owners find nodes by name.
//
// Scene file, after the resource framing (u16 version; from version 1 on the
// scene's id text):
//   version >= 1: u16 material count M, M framed materials
//   u16 node count N, N node records:
//     u16 parent (0: none, else 1 + the index of an earlier node)
//     version < 2: the node's name (text)
//     u16 kind (0 plain, 1 mesh)
//     the framed node (radius, static flag, transform, a mesh node's mesh)
// A file is read completely or not at all: a damaged or inconsistent one
// (cut short, a parent that does not come earlier, an unknown kind, a chain
// of parents more than kMaxSceneDepth deep) is refused and leaves the scene
// empty.
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>

#include "kernel/resource_types.h"
#include "render/resources/material.h"
#include "scene/scene_node.h"

// A named array of owned pointers whose capacity is fixed when it is
// allocated; a push beyond it reports "staticHeapVector overflow." and starts
// again at slot 0.
template <class T>
struct SceneList {
    // Drops the items (not what they point to) and makes room for capacity.
    void Allocate(uint32_t newCapacity)
    {
        capacity = newCapacity;
        items = std::make_unique<T*[]>(newCapacity == 0 ? 1 : newCapacity);
        count = 0;
    }
    T*& Push()
    {
        if (!items)
            Allocate(capacity);
        if (count >= capacity) {
            std::cerr << "staticHeapVector overflow.\n";
            count = 0;
        }
        ++count;
        return items[count - 1];
    }

    uint32_t capacity = 0;
    std::unique_ptr<T*[]> items;
    uint32_t count = 0;
    std::string name;
};

struct SceneData {
    SceneData();
    ~SceneData();
    SceneData(const SceneData&) = delete;
    SceneData& operator=(const SceneData&) = delete;

    // Destroys every node, then every material, and empties both lists.
    void Clear();

    SceneList<MaterialResource> materials;
    SceneList<SceneNode> nodes; // in file order; parents before children when read
};

// The scene type's template instance.
class Scene;
using SceneResource = ResourceObject<Scene, SceneData, kSceneFormatVersion>;

class Scene : public SceneResource {
public:
    Scene() = default;

    // The scene file body, both directions.
    void Serialize(Archive& archive) override;
    // Reads the scene file and marks the scene, its meshes and its materials
    // loaded. A missing or damaged file leaves the scene empty at state 0. The
    // scene takes the id of the file's id text.
    void DoLoad(const std::string& fileName) override;
    // Destroys the nodes and materials; the block may be pooled.
    bool DoUnload() override;

    // Writes the scene file with version 1. A parent outside the scene is
    // written as none, a mesh node without a mesh with an empty one. A scene
    // that could not be read back is not written: more than 65535 nodes or
    // materials, a node of a kind a file cannot hold (cameras and lights).
    void SaveToFile(const std::string& name) override;

    // The first node in list order with the name; null with "Can't find
    // node: " and the name in the error box when there is none.
    SceneNode* FindNode(const std::string& name);

    // Gives the scene a new block of its own holding count fresh mesh nodes.
    void CreateMeshNodes(uint32_t count);

    // The lists; null when the scene holds no block.
    SceneList<MaterialResource>* Materials();
    SceneList<SceneNode>* Nodes();

private:
    void ReadBody(Archive& archive, SceneData& data);
    void WriteBody(Archive& archive, SceneData& data);
};

// The most nodes or materials a scene file can hold (its counts are u16).
inline constexpr uint32_t kMaxSceneListCount = 65535;
// The most levels of parents above a node of a scene file.
inline constexpr uint32_t kMaxSceneDepth = 1024;
