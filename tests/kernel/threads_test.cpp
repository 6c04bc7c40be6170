// The engine threads for real: the render loop runs inline on the test's thread
// (as on the main thread), the IO thread on a thread of its own. Every wait is
// bounded by a count of render rounds.
#include <chrono>

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kernel/engine_threads.h"
#include "kernel/handler_module.h"
#include "kernel/queue_registry.h"
#include "kernel/thread_map.h"
#include "testing/message_box_script.h"

namespace {

// Rounds spin fast while other threads catch up; a wall-clock bound survives a busy machine.
constexpr auto kLoopTimeLimit = std::chrono::seconds(30);

struct Served {
    std::string tag;
    std::thread::id thread;
    int round;
};

// Records every "Work" task it runs, with the thread and render round.
struct WorkModule : HandlerModule<WorkModule> {
    explicit WorkModule(const std::atomic<int>* roundCounter) : round(roundCounter) {}
    void RegisterHandlers() override { RegisterHandler("Work", &WorkModule::Work); }
    void Work(TaskMessage* task)
    {
        std::lock_guard lock(mutex);
        served.push_back({std::string(task->tag.View()), std::this_thread::get_id(), round->load()});
        ++count;
    }
    std::vector<Served> Snapshot()
    {
        std::lock_guard lock(mutex);
        return served;
    }
    const std::atomic<int>* round;
    std::mutex mutex;
    std::vector<Served> served;
    std::atomic<int> count{0};
};

TaskMessage Work()
{
    TaskMessage task;
    task.taskId = RSHashConst("Work");
    return task;
}

class Threads : public ::testing::Test {
protected:
    void SetUp() override
    {
        registry = GetQueueRegistry();
        registry->ResetQueues();
        io.SetName("IOTHREAD");
        render.SetName("RENDERTHREAD");
        io.AddModule(&ioModule);
        render.AddModule(&renderModule);
    }
    void TearDown() override
    {
        registry->ResetQueues();
    }

    // Adds the IO thread, then runs the render loop inline until `work`
    // returns non-zero (or the round limit passes).
    template <class Work>
    void RunRenderLoop(Work work)
    {
        registry->AddThread(&io, false);
        const auto deadline = std::chrono::steady_clock::now() + kLoopTimeLimit;
        render.SetWorkFunction([this, work, deadline]() mutable {
            const int r = round.fetch_add(1) + 1;
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "time limit reached";
                return 1;
            }
            return work(r);
        });
        registry->AddThread(&render, true);
    }

    uint32_t InFlight() const { return registry->ring.write - registry->ring.read; }

    QueueRegistry* registry = nullptr;
    platform::testing::ScriptedMessageBoxes boxes;
    std::atomic<int> round{0};
    WorkModule ioModule{&round};
    WorkModule renderModule{&round};
    IOThread io;
    RenderThread render;
};

TEST_F(Threads, ChainFromIOToRenderRunsInOrderOnItsThreads)
{
    const std::thread::id mainThread = std::this_thread::get_id();
    TaskBatch* batch = nullptr;
    int postRound = 0;
    testing::internal::CaptureStdout();
    RunRenderLoop([&](int r) {
        if (r == 1) {
            batch = registry->AllocQueue(0);
            batch->PushTask(Work(), GetThreadMap().Find(kIOThreadId), "load");
            batch->PushTask(Work(), GetThreadMap().Find(kRenderThreadId), "upload");
            postRound = r;
        }
        return (renderModule.count.load() == 1 && InFlight() == 0) ? 1 : 0;
    });
    testing::internal::GetCapturedStdout();

    const auto ioServed = ioModule.Snapshot();
    const auto renderServed = renderModule.Snapshot();
    ASSERT_EQ(ioServed.size(), 1u);
    ASSERT_EQ(renderServed.size(), 1u);
    EXPECT_EQ(ioServed[0].tag, "load");
    EXPECT_EQ(renderServed[0].tag, "upload");
    EXPECT_NE(ioServed[0].thread, mainThread);
    EXPECT_EQ(renderServed[0].thread, mainThread);
    EXPECT_GT(renderServed[0].round, postRound);
    EXPECT_FALSE(batch->inUse);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Threads, RenderChainAdvancesOneLinkPerRound)
{
    testing::internal::CaptureStdout();
    RunRenderLoop([&](int r) {
        if (r == 1) {
            TaskBatch* batch = registry->AllocQueue(0);
            for (const char* tag : {"one", "two", "three"})
                batch->PushTask(Work(), &render, tag);
        }
        return (renderModule.count.load() == 3 && InFlight() == 0) ? 1 : 0;
    });
    testing::internal::GetCapturedStdout();
    const auto served = renderModule.Snapshot();
    ASSERT_EQ(served.size(), 3u);
    // Posted in round 1 and handed out by that round's second routing pass:
    // each link then runs in the cycle after its predecessor was retired.
    EXPECT_EQ(served[0].round, 1);
    EXPECT_EQ(served[1].round, 2);
    EXPECT_EQ(served[2].round, 3);
}

TEST_F(Threads, CancelledChainRetiresWithoutRunning)
{
    TaskBatch* batch = nullptr;
    testing::internal::CaptureStdout();
    RunRenderLoop([&](int r) {
        if (r == 1) {
            batch = registry->AllocQueue(0);
            batch->PushTask(Work(), &io, "a");
            batch->PushTask(Work(), &render, "b");
            batch->PushTask(Work(), &io, "c");
            batch->CancelQueuedTasks();
        }
        return (r > 1 && InFlight() == 0) ? 1 : 0;
    });
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ioModule.count.load(), 0);
    EXPECT_EQ(renderModule.count.load(), 0);
    EXPECT_FALSE(batch->inUse);
}

TEST_F(Threads, StoppingPrintsTheLinesInOrder)
{
    testing::internal::CaptureStdout();
    RunRenderLoop([](int r) { return r == 3 ? 1 : 0; });
    const std::string out = testing::internal::GetCapturedStdout();

    std::vector<std::string> lines;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    auto at = [&](const std::string& line) {
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == line)
                return static_cast<int>(i);
        ADD_FAILURE() << "missing line: " << line << "\n" << out;
        return -1;
    };
    ASSERT_EQ(lines.size(), 7u) << out;
    const int terminating = at("[dbg] terminating threads...");
    const int thread0 = at("[dbg] terminating thread 0");
    const int closedIO = at("closed IOTHREAD");
    const int terminate = at("[dbg] TERMINATE 1 1");
    const int terminated = at("[dbg] terminated");
    const int thread1 = at("[dbg] terminating thread 1");
    const int closedRender = at("closed RENDERTHREAD");
    EXPECT_LT(terminating, thread0);
    EXPECT_LT(thread0, terminate);
    EXPECT_LT(closedIO, terminate); // the IO loop has ended before its handle goes
    EXPECT_LT(terminate, terminated);
    EXPECT_LT(terminated, thread1);
    EXPECT_EQ(closedRender, static_cast<int>(lines.size()) - 1);
    EXPECT_EQ(round.load(), 3);
    EXPECT_FALSE(io.handle.HasHandle());
}

TEST_F(Threads, PostsFromAnotherThreadUnderTheGuardAllRunOnce)
{
    constexpr int kPosts = 300;
    std::atomic<bool> posterDone{false};
    std::thread poster;
    testing::internal::CaptureStdout();
    RunRenderLoop([&](int r) {
        if (r == 1) {
            poster = std::thread([&] {
                for (int i = 0; i < kPosts; ++i) {
                    QueueRegistry::PostingGuard guard(*registry);
                    TaskBatch* batch = registry->AllocQueue(0);
                    batch->PushTask(Work(), GetThreadMap().Find(kIOThreadId), std::string("n").append(std::to_string(i)));
                    batch->PushTask(Work(), GetThreadMap().Find(kRenderThreadId), std::string("m").append(std::to_string(i)));
                    if (i % 16 == 0)
                        std::this_thread::yield();
                }
                posterDone = true;
            });
        }
        return (posterDone && renderModule.count.load() == kPosts && InFlight() == 0) ? 1 : 0;
    });
    testing::internal::GetCapturedStdout();
    poster.join();
    EXPECT_EQ(ioModule.count.load(), kPosts);
    EXPECT_EQ(renderModule.count.load(), kPosts);
    // Each render link ran after its own IO link.
    const auto ioServed = ioModule.Snapshot();
    const auto renderServed = renderModule.Snapshot();
    std::vector<int> ioRound(kPosts, -1);
    for (const Served& s : ioServed)
        ioRound[std::stoi(s.tag.substr(1))] = s.round;
    for (const Served& s : renderServed)
        EXPECT_GE(s.round, ioRound[std::stoi(s.tag.substr(1))]) << s.tag;
    EXPECT_TRUE(boxes.Shown().empty());
}

// ---- Modules ----

struct Counting : HandlerModule<Counting> {
    int member = 0;
    int plain = 0;
    static std::atomic<int> destroyed;
    ~Counting() override { ++destroyed; }
    void RegisterHandlers() override
    {
        RegisterHandler("Member", &Counting::Member);
        RegisterHandler("Plain", &Counting::Plain);
    }
    int Member(TaskMessage*) { return ++member; }
    static bool Plain(Counting* self, TaskMessage*) { return ++self->plain > 0; }
};
std::atomic<int> Counting::destroyed{0};

TEST(HandlerModule, ServesRegisteredIdsAndIgnoresOthers)
{
    Counting module;
    module.RegisterHandlers();
    TaskMessage task;
    task.taskId = RSHash("Member");
    module.Dispatch(&task);
    task.taskId = RSHash("Plain");
    module.Dispatch(&task);
    module.Dispatch(&task);
    task.taskId = RSHash("Unknown");
    module.Dispatch(&task);
    EXPECT_EQ(module.member, 1);
    EXPECT_EQ(module.plain, 2);

    // A second handler for one name replaces the first.
    module.RegisterHandler("Member", &Counting::Plain);
    task.taskId = RSHash("Member");
    module.Dispatch(&task);
    EXPECT_EQ(module.member, 1);
    EXPECT_EQ(module.plain, 3);
}

struct Attacher : Module {
    EngineThread* thread = nullptr;
    Counting* late = nullptr;
    void RegisterHandlers() override { thread->AddModule(late); }
};

TEST(EngineThreadModules, PassRegistersModulesAttachedDuringItAndOwnedOnesAreDeleted)
{
    GetQueueRegistry()->ResetQueues();
    const int destroyedBefore = Counting::destroyed.load();
    {
        // Modules the thread does not own outlive it.
        Counting kept;
        Attacher attacher;
        EngineThread thread;
        thread.SetName("WORKER");
        auto* late = new Counting();
        late->owned = true;
        attacher.thread = &thread;
        attacher.late = late;
        thread.AddModule(&attacher);
        thread.AddModule(&kept);
        thread.InitThread();
        EXPECT_EQ(thread.ModuleCount(), 3u);
        EXPECT_TRUE(late->HasHandler(RSHash("Member")));
        EXPECT_TRUE(kept.HasHandler(RSHash("Plain")));
        EXPECT_EQ(GetThreadMap().Find(RSHash("WORKER")), &thread);

        TaskMessage task;
        task.taskId = RSHash("Member");
        thread.DispatchToModules(&task);
        EXPECT_EQ(late->member, 1);
        EXPECT_EQ(kept.member, 1);
        EXPECT_EQ(Counting::destroyed.load(), destroyedBefore);
    }
    // `late` was deleted by the thread, `kept` by its scope.
    EXPECT_EQ(Counting::destroyed.load(), destroyedBefore + 2);
    EXPECT_EQ(GetThreadMap().Find(RSHash("WORKER")), nullptr);
}

TEST(EngineThreads, GettersNameTheirThreads)
{
    EXPECT_EQ(GetRenderThread()->name.View(), "RENDERTHREAD");
    EXPECT_EQ(GetRenderThread()->id, RSHash("RENDERTHREAD"));
    EXPECT_EQ(GetIOThread()->name.View(), "IOTHREAD");
    EXPECT_EQ(GetIOThread()->id, kIOThreadId);
    EXPECT_EQ(GetRenderThread(), GetRenderThread());
    EngineThread unnamed;
    EXPECT_EQ(unnamed.name.View(), "[unnamed thread]");
    DestroyRenderThread();
    DestroyIOThread();
}

TEST(EngineThreads, DestroyingARunningThreadStopsAndJoinsIt)
{
    GetQueueRegistry()->ResetQueues();
    testing::internal::CaptureStdout();
    {
        IOThread thread;
        thread.SetName("SPARE");
        GetQueueRegistry()->AddThread(&thread, false);
        GetQueueRegistry()->ResetQueues();
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("closed SPARE\n"), std::string::npos) << out;
    EXPECT_NE(out.find("[dbg] TERMINATE 1 1\n"), std::string::npos) << out;
}

} // namespace

TEST(EngineThreadModules, AModuleDestroyedFirstLeavesItsThread)
{
    EngineThread thread;
    auto* kept = new Module;
    Module gone;
    thread.AddModule(kept);
    thread.AddModule(&gone);
    kept->owned = true;
    EXPECT_EQ(thread.ModuleCount(), 2u);
    {
        Module early;
        thread.AddModule(&early);
        EXPECT_EQ(thread.ModuleCount(), 3u);
    }
    ASSERT_EQ(thread.ModuleCount(), 2u);
    EXPECT_EQ(thread.ModuleAt(0), kept);
    EXPECT_EQ(thread.ModuleAt(1), &gone);
}
