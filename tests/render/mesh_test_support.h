#pragma once
// Reading back what a mesh holds: vertex components through its declaration,
// and the indices of its subsets.
#include <cstdint>
#include <cstring>
#include <vector>

#include "kernel/math/float3.h"
#include "platform/gfx/device/vertex_layout.h"
#include "render/resources/mesh.h"

namespace mesh_test {

inline std::vector<float> Component(MeshResource& mesh, uint32_t vertex, uint32_t usage, int floats)
{
    mesh.LockVertexBuffer(0);
    std::vector<float> values(static_cast<size_t>(floats));
    if (const uint8_t* address = mesh.VertexElementAddress(vertex, usage))
        std::memcpy(values.data(), address, sizeof(float) * values.size());
    mesh.UnlockVertexBuffer();
    mesh.lockedVertices = nullptr;
    return values;
}

inline std::vector<uint32_t> Indices(MeshSubset& subset)
{
    IndexBufferData* data = subset.GetPayload();
    std::vector<uint32_t> out;
    const uint8_t* memory = static_cast<const uint8_t*>(data->LockIndexBuffer(0));
    for (uint32_t i = 0; memory && i < data->indexCount; ++i) {
        if (data->indexSize == 2) {
            uint16_t v;
            std::memcpy(&v, memory + 2 * i, 2);
            out.push_back(v);
        } else {
            uint32_t v;
            std::memcpy(&v, memory + 4 * i, 4);
            out.push_back(v);
        }
    }
    data->UnlockIndexBuffer();
    return out;
}

} // namespace mesh_test
