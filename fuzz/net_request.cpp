// Any bytes as a network request, offered to both listeners as the server
// offers them, and the tasks they post run on a render thread against a remote
// scene: header matches, length checks, posting, the reply block, and every
// handler's checks of the record it is given must hold up for every input.
// Every input finds two empty para slots and leaves them so. A targets
// record's create flags are cleared: making a para object is the same work
// whatever the record says, costs tens of milliseconds under the sanitizers
// (and a leak scan, as its resources keep entries), and has its own tests.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <sstream>
#include <vector>

#include "kernel/engine_thread.h"
#include "kernel/queue_registry.h"
#include "kernel/settings.h"
#include "kernel/thread_map.h"
#include "net/net_listener.h"
#include "net/net_thread.h"
#include "net/para_handler.h"
#include "net/para_objects.h"
#include "net/para_reply.h"
#include "net/para_tasks.h"
#include "net/remote_scene.h"
#include "net/request_listeners.h"
#include "testing/message_box_script.h"
#include "scene/dynamic.h"

namespace {

constexpr uint32_t kSlots = 2;

// The request with every create flag of a targets record cleared.
const std::vector<uint8_t>& WithoutCreateFlags(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> request;
    request.assign(data, data + size);
    if (size >= kRequestHeaderSize + kParaTargetRecordSize && std::memcmp(data, "PARATRGT", kRequestHeaderSize) == 0) {
        for (size_t entry = 0; entry < kParaTargetEntries; ++entry) {
            uint8_t* flag = request.data() + kRequestHeaderSize + entry * kParaTargetEntrySize;
            if (flag[0] == 1 && flag[1] == 0)
                flag[0] = 0;
        }
    }
    return request;
}

struct Harness {
    Harness()
    {
        Settings& settings = GetSettings(); // no settings file here: its box is answered

        settings.Set("net", "meteoHeader", "WEATHER0");
        settings.Set("net", "paraHeader", "PARAMSET");
        settings.Set("net", "preallocHeader", "PREALLOC");
        settings.Set("net", "targetHeader", "PARATRGT");
        render.SetName("RENDERTHREAD");
        auto* module = new ParaHandler(&server);
        module->thread = &render;
        module->owned = true;
        render.AddModule(module);
        render.InitThread();

        // A scene whose nodes have parents, whose groups have nodes, over a terrain.
        samples.description.sampleCount = 16;
        for (uint8_t i = 0; i < 16; ++i)
            samples.bytes[i] = static_cast<uint8_t>(i * 16);
        scene.terrain.description = &samples.description;
        scene.terrain.dataSize = 16;
        scene.terrain.data = samples.bytes;
        scene.terrain.extent = {100, 10, 100};
        scene.terrain.maxCorner = {100, 10, 100};
        scene.terrain.width = 4;
        scene.terrain.depth = 4;
        parent.SetPosition(float4{5, 0, 5, 1});
        paraNode.SetParent(&parent);
        scene.paraNode = &paraNode;
        scene.anchorNode = &anchor;
        scene.followerNode = &follower;
        follower.SetParent(&parent);
        scene.modeTwoNode = &anchor;
        scene.normalGroupA.CreateMeshNodes(2);
        scene.normalGroupB.CreateMeshNodes(1);
        scene.modeTwoGroup.CreateMeshNodes(2);
        SetRemoteScene(&scene);
        ApplyParaPrealloc(scene, kSlots);
    }

    // Every error box answered "Continue Anyway": a para object finds no
    // effect, texture or device here.
    platform::testing::ScriptedMessageBoxes boxes;
    DynamicsList dynamics;
    NetThread server; // unbound: the listeners are called directly
    MeteoListener meteo{&server};
    ParaListener para{&server};
    EngineThread render;
    struct {
        HeightfieldDescription description;
        uint8_t bytes[16];
    } samples;
    SceneNode parent, paraNode, anchor, follower;
    RemoteScene scene;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Harness harness;
    static std::ostringstream sink;
    // The ring and the waiting tasks start afresh.
    QueueRegistry* registry = GetQueueRegistry();
    registry->ResetQueues();
    registry->RegisterThread(&harness.render);
    ResetPendingNetTasks();
    const std::vector<uint8_t>& request = WithoutCreateFlags(data, size);
    const bool meteo = harness.meteo.OnRequest(request.data(), size);
    const bool para = harness.para.OnRequest(request.data(), size);
    if (meteo || (para && !harness.para.ReplyMessage()))
        __builtin_trap();

    // The tasks posted run on the render thread, their lines kept out of sight.
    std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
    // Until every task has run and been retired, so nothing of this input is
    // left in the thread's queues when the ring starts afresh.
    for (int cycle = 0; cycle < 16 && (PendingNetTasks() > 0 || !harness.render.inbound.Empty()); ++cycle) {
        registry->RouteQueues();
        harness.render.RunCycle();
        harness.render.ProcessHeadTask();
    }

    RemoteScene& scene = harness.scene;
    const ParaReply reply = ReadParaReply();
    if (PendingNetTasks() != 0 || scene.paraSlotCount > kMaxParaSlots ||
        (scene.paraSlotCount > 0 && !scene.paraSlots) || std::memcmp(reply.bytes.data(), "PARAREPL", 8) != 0)
        __builtin_trap();
    if (scene.paraSlotCount != kSlots)
        ApplyParaPrealloc(scene, kSlots);
    std::cout.rdbuf(saved);
    sink.str("");
    harness.boxes.Clear();
    return 0;
}
