// Any bytes as a mesh resource file, read into a fresh mesh on a running
// device: counts, strides, declarations, level counts and index values come
// from the bytes, and none may make the read pass the end of the bytes, loop
// without end or leave an index past its vertices.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

#include "fuzz/fuzz_device.h"
#include "kernel/global_objects.h"
#include "kernel/serializable_object.h"
#include "render/resources/mesh.h"
#include "testing/message_box_script.h"

namespace {
void CheckIndices(MeshSubsetList& list, uint32_t vertexCount)
{
    for (uint32_t j = 0; j < list.count; ++j) {
        IndexBufferData* data = list.items[j].GetPayload();
        if (!data || data->indexCount == 0)
            continue;
        const auto* memory = static_cast<const uint8_t*>(data->LockIndexBuffer(0));
        for (uint32_t i = 0; memory && i < data->indexCount; ++i) {
            uint32_t index = 0;
            std::memcpy(&index, memory + size_t(i) * data->indexSize, data->indexSize);
            if (index >= vertexCount)
                std::abort();
        }
        data->UnlockIndexBuffer();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Made and gone with each run, like everything else the run makes, so a
    // run leaves nothing behind and the fuzzer never takes it for a leak.
    platform::testing::ScriptedMessageBoxes boxes;
    static const bool device = StartFuzzDevice();
    if (!device)
        return 0;
    std::ostringstream quiet;
    std::streambuf* saved = std::cout.rdbuf(quiet.rdbuf());
    {
        MeshResource mesh;
        const FileReadResult result =
            ReadObjectBytes(mesh, data, static_cast<uint32_t>(size), "fuzz.mesh");
        MeshData* mesh_data = mesh.GetPayload();
        if (result == FileReadResult::Read && mesh_data) {
            if (mesh_data->LevelCount() > kMaxMeshLevels)
                std::abort();
            for (int level = -1; level < mesh_data->LevelCount(); ++level) {
                mesh_data->SelectLevel(level);
                VertexBufferData* vertices = mesh_data->currentVertexSet->buffer.GetPayload();
                CheckIndices(*mesh_data->currentSubsets, vertices ? vertices->vertexCount : 0);
            }
            mesh_data->SelectLevel(-1);
        }
    }
    std::cout.rdbuf(saved);
    // The run's names: the registered types, and meshes, which are not.
    ForgetClearedResourceEntries();
    MeshResource::ForgetClearedIds();
    return 0;
}
