// Network link costs: one request/reply round trip on loopback through the
// serving NETTHREAD (the default reply, and a para state request answered with
// the ParaReply block and posted as a task), and a listener's work alone.
#include <benchmark/benchmark.h>

#include <zmq.hpp>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kernel/engine_thread.h"
#include "kernel/queue_registry.h"
#include "kernel/settings.h"
#include "kernel/thread_map.h"
#include "net/net_listener.h"
#include "net/net_thread.h"
#include "net/request_listeners.h"
#include "testing/message_box_script.h"
#include "testing/net_support.h"

namespace {

using net_test::FreeLoopbackPort;

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
    std::vector<uint8_t> bytes(8 + record, 0x11);
    std::copy_n(header, 8, bytes.begin());
    return bytes;
}

// A serving NETTHREAD with both listeners, and a RENDERTHREAD whose cycles
// run the posted tasks, so nothing piles up.
void RoundTrip(benchmark::State& state, const std::vector<uint8_t>& request)
{
    const std::string port = FreeLoopbackPort();
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
            // The task runs and is retired before the next request, as a
            // render thread keeps up between frames: the link never waits here
            // for room.
            for (int cycle = 0; cycle < 16 && (PendingNetTasks() > 0 || !render.inbound.Empty()); ++cycle) {
                {
                    std::lock_guard guard(registry->postLock());
                    registry->RouteQueues();
                }
                render.RunCycle();
            }
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
    Configure(FreeLoopbackPort());
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
        benchmark::DoNotOptimize(para.OnRequest(request.data(), request.size()));
        state.PauseTiming();
        registry->ResetQueues();
        ResetPendingNetTasks();
        state.ResumeTiming();
    }
    ResetPendingNetTasks();
}
BENCHMARK(BM_ParaListenerAlone);

// The stop of a serving NETTHREAD, from the stop flag and the wake to the
// joined thread: idle over tcp (the wake's "Hello" answered), idle over ipc
// (no wake request: the context ends), and while eight clients keep it busy.
void StopServer(benchmark::State& state, const char* protocol, int clients)
{
    const std::string port = FreeLoopbackPort();
    Configure(port);
    GetSettings().Set("net", "protocol", protocol);
    platform::testing::ScriptedMessageBoxes boxes;
    // The threads' "closed" and "TERMINATE" lines would crowd the report.
    std::ostringstream quiet;
    std::streambuf* const saved = std::cout.rdbuf(quiet.rdbuf());
    for (auto _ : state) {
        state.PauseTiming();
        NetThread server;
        // Over ipc the library makes its socket file under TMPDIR.
        if (!server.InitNetwork(std::string(protocol) == "tcp" ? "127.0.0.1" : "*")) {
            state.SkipWithError("no endpoint");
            state.ResumeTiming();
            break;
        }
        server.StartThread(false);
        std::atomic<bool> done{false};
        std::atomic<int> answered{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < clients; ++i) {
            threads.emplace_back([&] {
                zmq::context_t context(1);
                zmq::socket_t client(context, zmq::socket_type::req);
                client.set(zmq::sockopt::linger, 0);
                client.set(zmq::sockopt::rcvtimeo, 100);
                client.connect("tcp://127.0.0.1:" + port);
                const auto request = Request("ANYTHING", 0);
                zmq::message_t reply;
                while (!done.load()) {
                    if (!client.send(zmq::buffer(request), zmq::send_flags::none) ||
                        !client.recv(reply, zmq::recv_flags::none))
                        break; // the server has stopped
                    answered.fetch_add(1);
                }
            });
        }
        while (clients > 0 && answered.load() < 1000)
            std::this_thread::yield();
        // Idle: the server waits in its receive.
        while (server.ServingSteps() == 0)
            std::this_thread::yield();
        state.ResumeTiming();
        StopThread(&server);
        server.handle.TerminateThreadHandle();
        state.PauseTiming();
        done.store(true);
        for (std::thread& client : threads)
            client.join();
        server.ReleaseNetwork();
        state.ResumeTiming();
    }
    std::cout.rdbuf(saved);
    GetSettings().Set("net", "protocol", "tcp");
}

void BM_StopIdle(benchmark::State& state)
{
    StopServer(state, "tcp", 0);
}
BENCHMARK(BM_StopIdle)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_StopIdleIpc(benchmark::State& state)
{
    StopServer(state, "ipc", 0);
}
BENCHMARK(BM_StopIdleIpc)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_StopUnderLoad(benchmark::State& state)
{
    StopServer(state, "tcp", 8);
}
BENCHMARK(BM_StopUnderLoad)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

BENCHMARK_MAIN();
