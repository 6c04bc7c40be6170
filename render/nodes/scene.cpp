#include "render/nodes/scene.h"

#include <unordered_map>
#include <vector>

#include "kernel/archive.h"
#include "kernel/error_stream.h"
#include "kernel/hashed_name.h"
#include "kernel/memory_archive.h"
#include "render/nodes/mesh_node.h"
#include "render/resources/geometry_files.h"

namespace {
[[maybe_unused]] Scene* const sceneType = RegisterGlobalObject(new Scene);

bool Damaged(Archive& archive)
{
    auto* memory = dynamic_cast<MemoryArchive*>(&archive);
    return memory && memory->Damaged();
}

// A fresh node of a kind a scene file holds (plain and mesh nodes); null for
// any other kind.
SceneNode* NewNode(uint16_t kind)
{
    switch (kind) {
    case scene_node_kind::kPlain:
        return new SceneNode;
    case scene_node_kind::kMesh:
        return new MeshNode;
    default:
        return nullptr;
    }
}

// The order nodes are written in: the list order, except that a node whose
// parent comes later in the list is moved to just after it, so every parent
// field names an earlier record. False with the reason when the list cannot
// be written so that it reads back.
bool WriteOrder(SceneData& data, std::vector<uint32_t>& order, std::string& why)
{
    SceneList<SceneNode>& nodes = data.nodes;
    if (nodes.count > kMaxSceneListCount || data.materials.count > kMaxSceneListCount) {
        why = "more than " + std::to_string(kMaxSceneListCount) + " nodes or materials.";
        return false;
    }
    for (uint32_t i = 0; i < data.materials.count; ++i) {
        if (!data.materials.items[i]) {
            why = "material " + std::to_string(i) + " is missing.";
            return false;
        }
    }
    std::unordered_map<const NodeHierarchy*, uint32_t> index;
    for (uint32_t i = 0; i < nodes.count; ++i) {
        SceneNode* node = nodes.items[i];
        if (!node) {
            why = "node " + std::to_string(i) + " is missing.";
            return false;
        }
        if (node->kind > scene_node_kind::kMesh) {
            why = "node " + std::to_string(i) + " is of kind " + std::to_string(node->kind) +
                  ", which a scene file cannot hold.";
            return false;
        }
        // A mesh node's record carries a mesh (an empty one when the node has
        // none), which only a MeshNode can write.
        if (node->kind == scene_node_kind::kMesh && !dynamic_cast<MeshNode*>(node)) {
            why = "node " + std::to_string(i) + " is of the mesh kind but no mesh node.";
            return false;
        }
        index.try_emplace(node, i);
    }
    std::vector<uint8_t> placed(nodes.count, 0);
    std::vector<uint32_t> depth(nodes.count, 0);
    std::vector<uint32_t> chain;
    for (uint32_t i = 0; i < nodes.count; ++i) {
        chain.clear();
        for (uint32_t j = i; !placed[j];) {
            if (chain.size() > nodes.count) {
                why = "node " + std::to_string(i) + " is its own ancestor.";
                return false;
            }
            chain.push_back(j);
            // A parent outside the scene is written as none.
            const auto found = index.find(nodes.items[j]->GetParent());
            if (found == index.end())
                break;
            j = found->second;
        }
        for (auto k = chain.rbegin(); k != chain.rend(); ++k) {
            const auto parent = index.find(nodes.items[*k]->GetParent());
            if (parent != index.end())
                depth[*k] = depth[parent->second] + 1;
            if (depth[*k] > kMaxSceneDepth) {
                why = "node " + std::to_string(*k) + " lies more than " + std::to_string(kMaxSceneDepth) +
                      " levels deep.";
                return false;
            }
            placed[*k] = 1;
            order.push_back(*k);
        }
    }
    return true;
}
} // namespace

SceneData::SceneData()
{
    materials.name = "materials";
    nodes.name = "nodes";
}

SceneData::~SceneData()
{
    Clear();
}

void SceneData::Clear()
{
    // Nodes first: their meshes' subsets hold references to the materials.
    for (uint32_t i = 0; nodes.items && i < nodes.count; ++i)
        delete nodes.items[i];
    for (uint32_t i = 0; materials.items && i < materials.count; ++i)
        delete materials.items[i];
    nodes.items.reset();
    nodes.capacity = nodes.count = 0;
    materials.items.reset();
    materials.capacity = materials.count = 0;
}

SceneList<MaterialResource>* Scene::Materials()
{
    SceneData* data = GetPayload();
    return data ? &data->materials : nullptr;
}

SceneList<SceneNode>* Scene::Nodes()
{
    SceneData* data = GetPayload();
    return data ? &data->nodes : nullptr;
}

void Scene::Serialize(Archive& archive)
{
    SceneData* data = GetPayload();
    if (archive.IsReading()) {
        if (data)
            ReadBody(archive, *data);
        return;
    }
    if (data) {
        WriteBody(archive, *data);
        return;
    }
    // A scene without a block is stored as an empty one.
    uint16_t none = 0;
    if (formatVersion >= 1)
        archive.U16(none);
    archive.U16(none);
}

void Scene::WriteBody(Archive& archive, SceneData& data)
{
    std::vector<uint32_t> order;
    std::string why;
    uint16_t none = 0;
    if (!WriteOrder(data, order, why)) {
        errorTwoLines = false;
        GetErrorStream() << "Scene stored empty: " << why << "\n";
        if (formatVersion >= 1)
            archive.U16(none);
        archive.U16(none);
        return;
    }
    if (formatVersion >= 1) {
        uint16_t materialCount = static_cast<uint16_t>(data.materials.count);
        archive.U16(materialCount);
        for (uint32_t i = 0; i < materialCount; ++i)
            SerializeResource(archive, *data.materials.items[i]);
    }
    SceneList<SceneNode>& nodes = data.nodes;
    uint16_t nodeCount = static_cast<uint16_t>(nodes.count);
    archive.U16(nodeCount);
    // Where each list entry is written, for its children's parent fields.
    std::vector<uint32_t> writtenAt(nodes.count, 0);
    for (uint32_t k = 0; k < order.size(); ++k)
        writtenAt[order[k]] = k;
    for (uint32_t listIndex : order) {
        SceneNode& node = *nodes.items[listIndex];
        uint16_t parent = 0;
        if (const NodeHierarchy* link = node.GetParent()) {
            for (uint32_t i = 0; i < nodes.count; ++i) {
                if (static_cast<const NodeHierarchy*>(nodes.items[i]) == link) {
                    parent = static_cast<uint16_t>(1 + writtenAt[i]);
                    break;
                }
            }
        }
        archive.U16(parent);
        if (formatVersion < 2) {
            std::string name(node.name.View());
            archive.String(name);
        }
        archive.U16(node.kind);
        SerializeResource(archive, node);
    }
}

void Scene::ReadBody(Archive& archive, SceneData& data)
{
    // Whatever the block held is replaced by the file.
    data.Clear();
    if (formatVersion >= 1) {
        uint16_t materialCount = 0;
        archive.U16(materialCount);
        if (Damaged(archive))
            return;
        data.materials.Allocate(materialCount);
        for (uint32_t i = 0; i < materialCount; ++i) {
            MaterialResource*& material = data.materials.Push();
            material = new MaterialResource;
            SerializeResource(archive, *material);
            if (Damaged(archive))
                return;
        }
    }
    uint16_t nodeCount = 0;
    archive.U16(nodeCount);
    if (Damaged(archive))
        return;
    data.nodes.Allocate(nodeCount);
    // The levels above each node: world matrices are worked out recursively,
    // so a chain deep enough to exhaust the stack is refused.
    std::vector<uint16_t> depth(nodeCount, 0);
    for (uint32_t i = 0; i < nodeCount; ++i) {
        uint16_t parent = 0;
        uint16_t kind = 0;
        std::string name;
        archive.U16(parent);
        if (formatVersion < 2)
            archive.String(name);
        archive.U16(kind);
        if (Damaged(archive))
            return;
        if (parent > i) {
            RefuseResourceRead(archive, "Scene refused: node " + std::to_string(i) + " has parent " +
                                            std::to_string(parent) + ", which does not come before it.");
            return;
        }
        if (parent != 0) {
            depth[i] = static_cast<uint16_t>(depth[parent - 1] + 1);
            if (depth[i] > kMaxSceneDepth) {
                RefuseResourceRead(archive, "Scene refused: node " + std::to_string(i) + " lies more than " +
                                                std::to_string(kMaxSceneDepth) + " levels deep.");
                return;
            }
        }
        SceneNode* node = NewNode(kind);
        if (!node) {
            RefuseResourceRead(archive, "Scene refused: node " + std::to_string(i) + " is of unknown kind " +
                                            std::to_string(kind) + ".");
            return;
        }
        data.nodes.Push() = node;
        if (parent != 0)
            node->SetParent(data.nodes.items[parent - 1]);
        // A node without an id text must not take the name read before it.
        archive.scratch.clear();
        SerializeResource(archive, *node);
        if (Damaged(archive))
            return;
        if (formatVersion < 2)
            node->SetName(name);
    }
}

void Scene::DoLoad(const std::string& fileName)
{
    // The file's id text gives the scene its id.
    const bool read = LoadFromFile(fileName);
    SceneData* data = GetPayload();
    if (!data)
        return;
    if (!read) {
        // Nor does a missing file leave what the block held before.
        data->Clear();
        SetState(resource_state::kNone);
        return;
    }
    SetState(resource_state::kLoaded);
    for (uint32_t i = 0; i < data->nodes.count; ++i) {
        SceneNode* node = data->nodes.items[i];
        node->SetState(resource_state::kLoaded);
        auto* meshNode = dynamic_cast<MeshNode*>(node);
        if (!meshNode)
            continue;
        MeshData* mesh = meshNode->mesh.GetPayload();
        if (!mesh) {
            errorTwoLines = false;
            GetErrorStream() << "No mesh for node " << i << " of scene " << fileName << "\n";
            continue;
        }
        meshNode->mesh.SetState(resource_state::kLoaded);
        mesh->currentVertexSet->buffer.SetState(resource_state::kLoaded);
        mesh->currentDecl->SetState(resource_state::kLoaded);
        for (uint32_t j = 0; j < mesh->currentSubsets->count; ++j)
            mesh->currentSubsets->items[j].SetState(resource_state::kLoaded);
    }
    for (uint32_t i = 0; i < data->materials.count; ++i) {
        MaterialResource* material = data->materials.items[i];
        material->SetState(resource_state::kLoaded);
        if (Effect* effect = material->GetEffect())
            effect->SetState(resource_state::kLoaded);
    }
}

bool Scene::DoUnload()
{
    if (SceneData* data = GetPayload())
        data->Clear();
    return true;
}

void Scene::SaveToFile(const std::string& name)
{
    if (SceneData* data = GetPayload()) {
        std::vector<uint32_t> order;
        std::string why;
        if (!WriteOrder(*data, order, why)) {
            errorTwoLines = false;
            GetErrorStream() << "Scene not saved to " << name << ": " << why << "\n";
            return;
        }
    }
    SceneResource::SaveToFile(name);
}

SceneNode* Scene::FindNode(const std::string& name)
{
    HashedName128 key;
    key.Assign(name);
    if (SceneData* data = GetPayload()) {
        for (uint32_t i = 0; i < data->nodes.count; ++i) {
            SceneNode* node = data->nodes.items[i];
            if (node && node->name.hash == key.hash)
                return node;
        }
    }
    errorTwoLines = false;
    GetErrorStream() << "Can't find node: " << name << "\n";
    return nullptr;
}

void Scene::CreateMeshNodes(uint32_t count)
{
    CreateUnique();
    SceneData* data = GetPayload();
    if (!data)
        return;
    data->nodes.Allocate(count);
    for (uint32_t i = 0; i < count; ++i)
        data->nodes.Push() = new MeshNode;
    SetState(resource_state::kLoaded);
}
