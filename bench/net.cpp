// Network link costs: one request/reply round trip on loopback through the
// serving NETTHREAD (the default reply, and a para state request answered with
// the ParaReply block and posted as a task), and a listener's work alone.
#include <benchmark/benchmark.h>

#include <zmq.hpp>

#include <string>
#include <vector>

#include "kernel/engine_thread.h"
#include "kernel/queue_registry.h"
#include "kernel/settings.h"
#include "kernel/thread_map.h"
#include "net/net_listener.h"
#include "net/net_thread.h"
#include "net/request_listeners.h"
#include "platform/testing/message_box_script.h"

namespace {

std::string FreePort()
{
    zmq::context_t context(1);
    zmq::socket_t probe(context, zmq::socket_type::rep);
    probe.set(zmq::sockopt::linger, 0);
    probe.bind("tcp://127.0.0.1:*");
    const std::string endpoint = probe.get(zmq::sockopt::last_endpoint);
    return endpoint.substr(endpoint.rfind(':') + 1);
}

void Configure(const std::string& port)
{
    {
        platform::testing::ScriptedMessageBoxes boxes;
        GetSettings();
    }
    Settings& settings = GetSettings();
    settings.Set("net", "protocol", "tcp");
    settings.Set("net", "port", port);
    settings.Set("net", "meteoHeader", "WEATHER0");
    settings.Set("net", "paraHeader", "PARAMSET");
    settings.Set("net", "preallocHeader", "PREALLOC");
    settings.Set("net", "targetHeader", "PARATRGT");
}

std::vector<uint8_t> Request(const char* header, size_t record)
{
    std::vector<uint8_t> bytes(header, header + 8);
    bytes.resize(8 + record, 0x11);
    return bytes;
}

// A serving NETTHREAD with both listeners, and a RENDERTHREAD whose cycles
// run the posted tasks, so nothing piles up.
void RoundTrip(benchmark::State& state, const std::vector<uint8_t>& request)
{
    const std::string port = FreePort();
    Configure(port);
    platform::testing::ScriptedMessageBoxes boxes;
    QueueRegistry* registry = GetQueueRegistry();
    registry->ResetQueues();
    ResetPendingNetTasks();
    EngineThread render;
    render.SetName("RENDERTHREAD");
    registry->RegisterThread(&render);
    render.InitThread();
    uint64_t failed = 0;
    {
        NetThread server;
        MeteoListener meteo(&server);
        ParaListener para(&server);
        if (!server.InitNetwork("127.0.0.1")) {
            state.SkipWithError("no endpoint");
            return;
        }
        server.StartThread(false);

        zmq::context_t context(1);
        zmq::socket_t client(context, zmq::socket_type::req);
        client.set(zmq::sockopt::linger, 0);
        client.set(zmq::sockopt::rcvtimeo, 5000);
        client.connect("tcp://127.0.0.1:" + port);
        zmq::message_t reply;
        for (auto _ : state) {
            if (!client.send(zmq::buffer(request), zmq::send_flags::none) ||
                !client.recv(reply, zmq::recv_flags::none)) {
                ++failed;
                break;
            }
            benchmark::DoNotOptimize(reply.data());
            state.PauseTiming();
            {
                std::lock_guard guard(registry->postLock());
                registry->RouteQueues();
            }
            render.RunCycle();
            state.ResumeTiming();
        }
    }
    registry->ResetQueues();
    ResetPendingNetTasks();
    if (failed)
        state.SkipWithError("a reply did not come");
}

void BM_DefaultReplyRoundTrip(benchmark::State& state)
{
    RoundTrip(state, Request("ANYTHING", 0));
}
BENCHMARK(BM_DefaultReplyRoundTrip);

void BM_ParaStateRoundTrip(benchmark::State& state)
{
    RoundTrip(state, Request("PARAMSET", 81));
}
BENCHMARK(BM_ParaStateRoundTrip);

void BM_TargetsRoundTrip(benchmark::State& state)
{
    RoundTrip(state, Request("PARATRGT", 3456));
}
BENCHMARK(BM_TargetsRoundTrip);

// The para listener's own work on one para state request: header compare,
// task built and posted, reply block copied.
void BM_ParaListenerAlone(benchmark::State& state)
{
    Configure(FreePort());
    platform::testing::ScriptedMessageBoxes boxes;
    QueueRegistry* registry = GetQueueRegistry();
    registry->ResetQueues();
    EngineThread render;
    render.SetName("RENDERTHREAD");
    GetThreadMap().Insert(render.id, &render);
    NetThread server;
    ParaListener para(&server);
    const auto request = Request("PARAMSET", 81);
    for (auto _ : state) {
        ResetPendingNetTasks();
        benchmark::DoNotOptimize(para.OnRequest(request.data(), request.size()));
        state.PauseTiming();
        registry->ResetQueues();
        state.ResumeTiming();
    }
    ResetPendingNetTasks();
}
BENCHMARK(BM_ParaListenerAlone);

} // namespace

BENCHMARK_MAIN();
