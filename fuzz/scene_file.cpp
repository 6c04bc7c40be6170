// Any bytes as a scene file, read into a fresh scene on a running device:
// material and node counts, parent fields, node kinds and the nested meshes
// come from the bytes. A file read must leave every node built, of a kind a
// file holds, with a parent earlier in the list; a refused one leaves no
// nodes or materials.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "fuzz/fuzz_device.h"
#include "kernel/global_objects.h"
#include "render/nodes/scene.h"
#include "render/resources/mesh.h"
#include "testing/message_box_script.h"

namespace {
void CheckScene(Scene& scene)
{
    SceneList<SceneNode>& nodes = *scene.Nodes();
    if (nodes.count > nodes.capacity || scene.Materials()->count > scene.Materials()->capacity)
        std::abort();
    for (uint32_t i = 0; i < nodes.count; ++i) {
        SceneNode* node = nodes.items[i];
        if (!node || node->kind > scene_node_kind::kMesh)
            std::abort();
        if (const NodeHierarchy* parent = node->GetParent()) {
            bool earlier = false;
            for (uint32_t j = 0; j < i && !earlier; ++j)
                earlier = static_cast<const NodeHierarchy*>(nodes.items[j]) == parent;
            if (!earlier)
                std::abort();
        }
        node->GetWorldMatrix();
    }
    for (uint32_t i = 0; i < scene.Materials()->count; ++i)
        if (!scene.Materials()->items[i])
            std::abort();
    if (nodes.count > 0)
        scene.FindNode(std::string(nodes.items[nodes.count - 1]->name.View()));
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
        Scene scene;
        if (scene.LoadFromMemory(data, static_cast<uint32_t>(size), "fuzz.ids"))
            CheckScene(scene);
        else if (scene.Nodes() && (scene.Nodes()->count != 0 || scene.Materials()->count != 0))
            std::abort();
    }
    std::cout.rdbuf(saved);
    // The run's names: the registered types, and meshes, which are not.
    ForgetClearedResourceEntries();
    MeshResource::ForgetClearedIds();
    return 0;
}
