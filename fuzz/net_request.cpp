// Any bytes as a network request, offered to both listeners as the server
// offers them: header matches, length checks, posting and the reply block must
// hold up for every input.
#include <cstddef>
#include <cstdint>

#include "kernel/engine_thread.h"
#include "kernel/queue_registry.h"
#include "kernel/settings.h"
#include "kernel/thread_map.h"
#include "net/net_listener.h"
#include "net/net_thread.h"
#include "net/para_tasks.h"
#include "net/request_listeners.h"
#include "platform/testing/message_box_script.h"

namespace {

struct Harness {
    Harness()
    {
        {
            platform::testing::ScriptedMessageBoxes boxes; // no settings file here
            GetSettings();
        }
        Settings& settings = GetSettings();
        settings.Set("net", "meteoHeader", "WEATHER0");
        settings.Set("net", "paraHeader", "PARAMSET");
        settings.Set("net", "preallocHeader", "PREALLOC");
        settings.Set("net", "targetHeader", "PARATRGT");
        render.SetName("RENDERTHREAD");
        GetThreadMap().Insert(render.id, &render);
    }

    NetThread server; // unbound: the listeners are called directly
    MeteoListener meteo{&server};
    ParaListener para{&server};
    EngineThread render;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Harness harness;
    // The ring and the waiting tasks start afresh: nothing routes them here.
    GetQueueRegistry()->ResetQueues();
    ResetPendingNetTasks();
    const bool meteo = harness.meteo.OnRequest(data, size);
    const bool para = harness.para.OnRequest(data, size);
    if (meteo || (para && !harness.para.ReplyMessage()))
        __builtin_trap();
    return 0;
}
