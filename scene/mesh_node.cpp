#include "scene/mesh_node.h"

#include <algorithm>
#include <iostream>
#include <vector>

#include "kernel/archive.h"
#include "kernel/error_stream.h"

namespace {
// Node files being read, innermost last: a file met again names itself.
std::vector<std::string>& FilesInProgress()
{
    static std::vector<std::string> files;
    return files;
}
} // namespace

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
    if (archive.IsReading())
        SetComponentName(archive.scratch);
    else
        GetBoundingRadius();
    archive.Float(radius);
    bool staticFlag = isStatic != 0;
    archive.Bool(staticFlag);
    if (archive.IsReading())
        isStatic = staticFlag ? 1 : 0;
    SerializeResource(archive, transform);
    if (formatVersion >= 1) {
        std::string meshName;
        archive.String(meshName);
        if (archive.IsReading() && !meshName.empty()) {
            LoadByName(meshName);
            return;
        }
    }
    SerializeResource(archive, mesh);
}

bool MeshNode::LoadByName(const std::string& fileName)
{
    std::vector<std::string>& files = FilesInProgress();
    if (std::find(files.begin(), files.end(), fileName) != files.end()) {
        errorTwoLines = false;
        GetErrorStream() << "Node file names itself: " << fileName << "\n";
        return false;
    }
    MeshNode source;
    files.push_back(fileName);
    const bool read = source.LoadFromFile(fileName);
    files.pop_back();
    MeshData* data = source.mesh.GetPayload();
    if (!read || !data) {
        errorTwoLines = false;
        GetErrorStream() << "No mesh in node file: " << fileName << "\n";
        return false;
    }
    // Shares the block, counted: the source node goes, the mesh stays.
    mesh.AttachById(source.mesh.GetId());
    mesh.SetState(resource_state::kLoaded);
    data->currentVertexSet->buffer.SetState(resource_state::kLoaded);
    data->currentDecl->SetState(resource_state::kLoaded);
    for (uint32_t i = 0; i < data->currentSubsets->count; ++i)
        data->currentSubsets->items[i].SetState(resource_state::kLoaded);
    return false;
}
