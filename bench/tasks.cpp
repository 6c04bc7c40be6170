// Task system costs: the time from posting a task to its handler running on the
// IO thread and on the render thread, beside a plain hand-off of a number from
// one thread to another that waits for it the way an idle engine thread does;
// routing passes with 0, 1, 64 and 1024 batches in flight, and the heap
// allocations made per posted task (bench/support counts them; the aim is none).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "bench/support/heap_allocations.h"
#include "kernel/engine_threads.h"
#include "kernel/handler_module.h"
#include "kernel/idle_wait.h"
#include "kernel/queue_registry.h"
#include "kernel/thread_map.h"
#include "testing/message_box_script.h"

namespace {

constexpr uint32_t kPingId = RSHashConst("Ping");

using Clock = std::chrono::steady_clock;

int64_t Now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

struct PingModule : HandlerModule<PingModule> {
    std::atomic<uint64_t> served{0};
    std::atomic<int64_t> ranAt{0};
    void RegisterHandlers() override { RegisterHandler("Ping", &PingModule::Ping); }
    void Ping(TaskMessage* task)
    {
        ranAt.store(Now(), std::memory_order_relaxed);
        served.store(task->callbackWords[0], std::memory_order_release);
    }
};

// The IO thread on its own thread and the render loop inline on a stand-in for
// the main thread. The render thread's work function posts, as the engine's
// posters do, whenever the benchmark asks for a task.
class RunningEngine {
public:
    explicit RunningEngine(uint32_t targetId) : target(targetId)
    {
        GetQueueRegistry()->ResetQueues();
        io.SetName("IOTHREAD");
        render.SetName("RENDERTHREAD");
        io.AddModule(&ioModule);
        render.AddModule(&renderModule);
        render.SetWorkFunction([this] { return Work(); });
        main = std::thread([this] {
            platform::testing::ScriptedMessageBoxes boxes;
            GetQueueRegistry()->AddThread(&io, false);
            GetQueueRegistry()->AddThread(&render, true);
        });
    }
    ~RunningEngine()
    {
        finish = true;
        main.join();
        GetQueueRegistry()->ResetQueues();
    }

    // Asks for one task and returns the seconds from its post to its handler.
    double PostAndWait(PingModule& module)
    {
        const uint64_t seq = ++requested;
        request.store(seq, std::memory_order_release);
        // The asking thread waits as the engine's threads do, leaving the
        // processor to the two whose road is measured.
        while (!SpinThenYield([&] { return module.served.load(std::memory_order_acquire) == seq; })) {
        }
        return static_cast<double>(module.ranAt.load(std::memory_order_relaxed) -
                                   postedAt.load(std::memory_order_relaxed)) * 1e-9;
    }

    PingModule ioModule;
    PingModule renderModule;

private:
    int Work()
    {
        const uint64_t seq = request.load(std::memory_order_acquire);
        if (seq != posted) {
            posted = seq;
            TaskMessage task;
            task.taskId = kPingId;
            task.callbackWords[0] = seq;
            postedAt.store(Now(), std::memory_order_relaxed);
            GetQueueRegistry()->AllocQueue(0)->PushTask(task, GetThreadMap().Find(target), "ping");
        }
        return finish.load(std::memory_order_relaxed) ? 1 : 0;
    }

    uint32_t target;
    IOThread io;
    RenderThread render;
    std::atomic<bool> finish{false};
    std::atomic<uint64_t> request{0};
    std::atomic<int64_t> postedAt{0};
    uint64_t requested = 0;
    uint64_t posted = 0;
    std::thread main;
};

// On a busy machine a thread that loses its processor adds milliseconds to a
// few hand-offs, and those dominate the mean: the median and the 90th
// percentile of the hand-offs are reported beside it.
class Latencies {
public:
    explicit Latencies(const benchmark::State& state) { seconds_.reserve(static_cast<size_t>(state.max_iterations)); }
    void Add(double seconds)
    {
        if (seconds_.size() < seconds_.capacity())
            seconds_.push_back(seconds);
    }
    void Report(benchmark::State& state)
    {
        if (seconds_.empty())
            return;
        std::sort(seconds_.begin(), seconds_.end());
        state.counters["median_ns"] = 1e9 * seconds_[seconds_.size() / 2];
        state.counters["p90_ns"] = 1e9 * seconds_[seconds_.size() * 9 / 10];
    }

private:
    std::vector<double> seconds_;
};

void PostToHandler(benchmark::State& state, uint32_t threadId)
{
    RunningEngine engine(threadId);
    PingModule& module = threadId == kIOThreadId ? engine.ioModule : engine.renderModule;
    engine.PostAndWait(module); // warm up
    Latencies latencies(state);
    const uint64_t allocsBefore = HeapAllocations();
    uint64_t posted = 0;
    for (auto _ : state) {
        const double seconds = engine.PostAndWait(module);
        state.SetIterationTime(seconds);
        latencies.Add(seconds);
        ++posted;
    }
    const uint64_t allocs = HeapAllocations() - allocsBefore;
    state.counters["allocs_per_task"] = posted ? static_cast<double>(allocs) / static_cast<double>(posted) : 0.0;
    latencies.Report(state);
}

void BM_PostToHandlerOnIOThread(benchmark::State& state)
{
    PostToHandler(state, kIOThreadId);
}
BENCHMARK(BM_PostToHandlerOnIOThread)->UseManualTime();

void BM_PostToHandlerOnRenderThread(benchmark::State& state)
{
    PostToHandler(state, kRenderThreadId);
}
BENCHMARK(BM_PostToHandlerOnRenderThread)->UseManualTime();

// The yardstick for the IO thread's road: one thread stores a number, another,
// waiting as an idle engine thread does, notes when it sees it.
void BM_PlainHandOff(benchmark::State& state)
{
    std::atomic<uint64_t> posted{0};
    std::atomic<uint64_t> seen{0};
    std::atomic<int64_t> postedAt{0};
    std::atomic<int64_t> seenAt{0};
    std::atomic<bool> finish{false};
    std::thread waiter([&] {
        uint64_t last = 0;
        while (!finish.load(std::memory_order_relaxed)) {
            const uint64_t value = posted.load(std::memory_order_acquire);
            if (value == last) {
                SpinThenYield([&] {
                    return posted.load(std::memory_order_acquire) != last || finish.load(std::memory_order_relaxed);
                });
                continue;
            }
            last = value;
            seenAt.store(Now(), std::memory_order_relaxed);
            seen.store(value, std::memory_order_release);
        }
    });
    Latencies latencies(state);
    uint64_t seq = 0;
    for (auto _ : state) {
        ++seq;
        postedAt.store(Now(), std::memory_order_relaxed);
        posted.store(seq, std::memory_order_release);
        while (!SpinThenYield([&] { return seen.load(std::memory_order_acquire) == seq; })) {
        }
        const double seconds = static_cast<double>(seenAt.load(std::memory_order_relaxed) -
                                                   postedAt.load(std::memory_order_relaxed)) * 1e-9;
        state.SetIterationTime(seconds);
        latencies.Add(seconds);
    }
    finish = true;
    waiter.join();
    latencies.Report(state);
}
BENCHMARK(BM_PlainHandOff)->UseManualTime();

// One routing pass while `range(0)` batches are in flight, none finished: a
// full pass (as after any post or finished task), and a pass with nothing new
// since the last (the idle loop's).
void RoutingPass(benchmark::State& state, bool somethingNew)
{
    platform::testing::ScriptedMessageBoxes boxes; // the 1024th batch reports the full ring
    QueueRegistry* registry = GetQueueRegistry();
    registry->ResetQueues();
    {
        EngineThread first;
        EngineThread second;
        first.SetName("BENCH_A");
        second.SetName("BENCH_B");
        registry->RegisterThread(&first);
        registry->RegisterThread(&second);
        const int batches = static_cast<int>(state.range(0));
        for (int i = 0; i < batches; ++i) {
            TaskMessage task;
            task.taskId = kPingId;
            registry->AllocQueue(0)->PushTask(task, i % 2 ? &second : &first, "b");
        }
        registry->RouteQueues();
        for (auto _ : state) {
            if (somethingNew)
                registry->NoteChange();
            registry->RouteQueues();
        }
        registry->ResetQueues();
    }
    state.counters["in_flight"] = static_cast<double>(state.range(0));
}

void BM_RoutingPass(benchmark::State& state)
{
    RoutingPass(state, true);
}
BENCHMARK(BM_RoutingPass)->Arg(0)->Arg(1)->Arg(64)->Arg(1024);

void BM_RoutingPassWithNothingNew(benchmark::State& state)
{
    RoutingPass(state, false);
}
BENCHMARK(BM_RoutingPassWithNothingNew)->Arg(0)->Arg(1024);

// Post, route, run and retire on one thread: the whole road of a task, with
// its allocations counted.
void BM_PostRouteRunRetire(benchmark::State& state)
{
    QueueRegistry* registry = GetQueueRegistry();
    registry->ResetQueues();
    PingModule module;
    EngineThread thread;
    thread.SetName("BENCH_ROAD");
    thread.AddModule(&module);
    registry->RegisterThread(&thread);
    thread.InitThread();
    const uint64_t allocsBefore = HeapAllocations();
    uint64_t posted = 0;
    for (auto _ : state) {
        TaskMessage task;
        task.taskId = kPingId;
        registry->AllocQueue(0)->PushTask(task, GetThreadMap().Find(thread.id), "road");
        registry->RouteQueues();
        thread.RunCycle();
        thread.RunCycle();
        registry->RouteQueues();
        thread.RunCycle();
        ++posted;
    }
    state.counters["allocs_per_task"] =
        posted ? static_cast<double>(HeapAllocations() - allocsBefore) / static_cast<double>(posted) : 0.0;
    registry->ResetQueues();
}
BENCHMARK(BM_PostRouteRunRetire);

} // namespace
