#include "render/nodes/mesh_node.h"

#include <algorithm>
#include <iostream>

#include "kernel/archive.h"
#include "kernel/error_stream.h"

MeshNode::MeshNode()
{
    kind = scene_node_kind::kMesh;
}

MeshNode::~MeshNode() = default;

float MeshNode::GetBoundingRadius()
{
    if (radius != 0.0f)
        return radius;
    float result = 0.0f;
    MeshData* data = mesh.GetPayload();
    if (!data) {
        std::cout << "BUG\n";
        return 0.0f;
    }
    const MeshSubsetList& subsets = *data->currentSubsets;
    for (uint32_t i = 0; i < subsets.count; ++i) {
        if (IndexBufferData* indices = subsets.items[i].GetPayload())
            result = std::max(result, Length(indices->subsetValues.XYZ()) + indices->subsetScalar);
    }
    const float3 own = transform.position.XYZ();
    for (NodeHierarchy* link : GetChildren()) {
        auto* child = static_cast<SceneNode*>(link);
        result = std::max(result, Length(child->transform.position.XYZ() - own) + child->GetBoundingRadius());
    }
    radius = result;
    return radius;
}

void MeshNode::Serialize(Archive& archive)
{
    // A radius still 0 is worked out before it is stored.
    if (archive.IsWriting())
        GetBoundingRadius();
    SerializeNode(archive);
    if (formatVersion >= 1) {
        std::string meshName;
        archive.String(meshName);
        if (archive.IsReading() && !meshName.empty()) {
            // Shares the mesh registered under the name; no inline mesh follows.
            mesh.LoadByName(meshName);
            return;
        }
    }
    SerializeResource(archive, mesh);
}

bool MeshNode::LoadByName(const std::string& fileName)
{
    const bool read = LoadFromFile(fileName);
    MeshData* data = mesh.GetPayload();
    if (!read || !data) {
        errorTwoLines = false;
        GetErrorStream() << "No mesh in node file: " << fileName << "\n";
        return false;
    }
    mesh.SetState(resource_state::kLoaded);
    data->currentVertexSet->buffer.SetState(resource_state::kLoaded);
    data->currentDecl->SetState(resource_state::kLoaded);
    for (uint32_t i = 0; i < data->currentSubsets->count; ++i)
        data->currentSubsets->items[i].SetState(resource_state::kLoaded);
    return false;
}
