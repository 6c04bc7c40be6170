// Batches, the ring and routing, driven by hand: the threads are registered but
// their cycles are run one at a time on the test's thread.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "kernel/engine_thread.h"
#include "kernel/handler_module.h"
#include "kernel/queue_registry.h"
#include "kernel/rs_hash.h"
#include "kernel/task_batch.h"
#include "testing/message_box_script.h"

namespace {

constexpr uint32_t kWorkId = RSHashConst("Work");

struct Recorder : HandlerModule<Recorder> {
    std::vector<std::string> ran;
    void RegisterHandlers() override { RegisterHandler("Work", &Recorder::Work); }
    void Work(TaskMessage* task) { ran.emplace_back(task->tag.View()); }
};

TaskMessage Work()
{
    TaskMessage task;
    task.taskId = kWorkId;
    return task;
}

class Tasks : public ::testing::Test {
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
    void TearDown() override { registry->ResetQueues(); }

    void Register()
    {
        ASSERT_TRUE(registry->RegisterThread(&io));
        ASSERT_TRUE(registry->RegisterThread(&render));
        io.InitThread();
        render.InitThread();
    }

    // One render cycle as the render loop runs it, with one IO cycle beside it.
    void Round()
    {
        io.RunCycle();
        render.ProcessHeadTask();
        registry->RouteQueues();
        registry->RouteQueues();
        render.RunCycle(); // empty step: just the copy
    }

    uint32_t InFlight() const { return registry->ring.write - registry->ring.read; }

    QueueRegistry* registry = nullptr;
    platform::testing::ScriptedMessageBoxes boxes;
    EngineThread io;
    EngineThread render;
    Recorder ioModule;
    Recorder renderModule;
};

TEST_F(Tasks, PushedRecordsFormOneChain)
{
    TaskBatch* one = registry->AllocQueue(0);
    TaskMessage* only = one->PushTask(Work(), &io, "single");
    ASSERT_NE(only, nullptr);
    EXPECT_EQ(only->waiting.load(), 0);
    EXPECT_EQ(only->next, nullptr);
    EXPECT_EQ(only->batch, one);
    EXPECT_EQ(only->target, &io);
    EXPECT_EQ(only->tag.View(), "single");

    TaskBatch* three = registry->AllocQueue(0);
    EXPECT_NE(three, one);
    three->dispatched = 1;
    TaskMessage* a = three->PushTask(Work(), &io, "a");
    EXPECT_EQ(three->dispatched, 0); // any push clears it
    TaskMessage* b = three->PushTask(Work(), &render, "b");
    TaskMessage* c = three->PushTask(Work(), &io, "c");
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(b->next, c);
    EXPECT_EQ(c->next, nullptr);
    EXPECT_EQ(a->waiting.load(), 0);
    EXPECT_EQ(b->waiting.load(), 1);
    EXPECT_EQ(c->waiting.load(), 1);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Tasks, LongTagIsCutToTheArray)
{
    TaskBatch* batch = registry->AllocQueue(0);
    const std::string fileName = "textures/some/very/long/folder/name/ground_diffuse.dds";
    TaskMessage* task = batch->PushTask(Work(), &io, fileName);
    EXPECT_EQ(task->tag.View(), fileName.substr(0, 31));
    EXPECT_EQ(task->tag.hash, RSHash(fileName.substr(0, 31)));
}

TEST_F(Tasks, FullBatchReportsAndNeverWritesOverItsFirstRecord)
{
    TaskBatch* batch = registry->AllocQueue(0);
    for (int i = 0; i < 127; ++i)
        ASSERT_NE(batch->PushTask(Work(), &io, std::string("t").append(std::to_string(i))), nullptr);
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_NE(batch->PushTask(Work(), &io, "t127"), nullptr);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("staticQueue overflow! 128\n"));

    EXPECT_EQ(batch->PushTask(Work(), &io, "t128"), nullptr);
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[1].text, ErrorBoxText("staticQueue overflow! 128\n"));
    EXPECT_EQ(batch->tasks.Count(), 128u);
    EXPECT_EQ(batch->tasks.At(0).tag.View(), "t0");
    EXPECT_EQ(batch->tasks.At(127).next, nullptr);
}

TEST_F(Tasks, RecordWithoutTargetIsReportedAndNotStored)
{
    TaskBatch* batch = registry->AllocQueue(0);
    EXPECT_EQ(batch->PushTask(Work(), nullptr, "lost"), nullptr);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_NE(boxes.Shown()[0].text.find("posted to no engine thread"), std::string::npos);
    EXPECT_EQ(batch->tasks.Count(), 0u);
}

TEST_F(Tasks, RoutingWithNothingNewTakesNoLockAndRoutesAgainOnAPost)
{
    Register();
    registry->RouteQueues();
    // Another thread holds the posting lock and a queue lock; it lets go after
    // a bound, noting so, should routing wait for them.
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    std::atomic<bool> gaveUp{false};
    std::thread holder([&] {
        std::lock_guard post(registry->postLock());
        std::lock_guard queue(io.queueLock);
        held = true;
        const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!release && std::chrono::steady_clock::now() < bound)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        gaveUp = !release;
    });
    while (!held)
        std::this_thread::yield();
    registry->RouteQueues();
    registry->RouteQueues();
    release = true;
    holder.join();
    EXPECT_FALSE(gaveUp) << "routing waited for a lock with nothing to route";

    TaskMessage task = Work();
    registry->AllocQueue(0)->PushTask(task, &io, "after");
    registry->RouteQueues();
    EXPECT_EQ(io.inbound.Count(), 1u) << "a post makes the next pass route";
}

TEST_F(Tasks, RingFullReportsAndNeverHandsOutALiveBatch)
{
    std::vector<TaskBatch*> live;
    for (int i = 0; i < 1023; ++i)
        live.push_back(registry->AllocQueue(0));
    EXPECT_TRUE(boxes.Shown().empty());
    live.push_back(registry->AllocQueue(0));
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("staticQueue overflow! 1024\n"));
    live[0]->PushTask(Work(), &io, "still queued");

    // No batch has retired: the next one must not be any of them.
    TaskBatch* extra = registry->AllocQueue(0);
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[1].text, ErrorBoxText("staticQueue overflow! 1024\n"));
    for (TaskBatch* batch : live)
        EXPECT_NE(extra, batch);
    EXPECT_EQ(live[0]->tasks.Count(), 1u);
    EXPECT_EQ(live[0]->tasks.At(0).tag.View(), "still queued");
    EXPECT_EQ(InFlight(), 1024u);
}

TEST_F(Tasks, ChainAcrossThreadsAdvancesOneLinkPerRoutingPassAndFreesItsBatch)
{
    Register();
    TaskBatch* batch = registry->AllocQueue(0);
    batch->PushTask(Work(), &io, "load");
    batch->PushTask(Work(), &render, "upload");
    registry->RouteQueues(); // hands out both at once
    EXPECT_EQ(batch->dispatched, 1);
    EXPECT_EQ(io.inbound.Count(), 1u);
    EXPECT_EQ(render.inbound.Count(), 1u);
    io.RunCycle();
    render.RunCycle();

    // The render link waits at the head of its queue until routing sees the IO link done.
    render.RunCycle();
    EXPECT_TRUE(renderModule.ran.empty());
    io.RunCycle();
    EXPECT_EQ(ioModule.ran, std::vector<std::string>{"load"});
    render.RunCycle();
    EXPECT_TRUE(renderModule.ran.empty());

    registry->RouteQueues(); // retires "load", releases "upload"
    EXPECT_EQ(io.inbound.Count(), 0u);
    render.RunCycle();
    EXPECT_EQ(renderModule.ran, std::vector<std::string>{"upload"});
    EXPECT_TRUE(batch->inUse);
    EXPECT_EQ(InFlight(), 1u);

    registry->RouteQueues(); // retires the last link: the batch is free
    EXPECT_FALSE(batch->inUse);
    EXPECT_EQ(batch->tasks.Count(), 0u);
    EXPECT_EQ(InFlight(), 0u);
    EXPECT_EQ(render.inbound.Count(), 0u);
    EXPECT_EQ(batch->tasks.At(1).taken.load(), 0); // the last link is cleared
    EXPECT_EQ(batch->tasks.At(0).taken.load(), 1);
}

TEST_F(Tasks, HeadOfLineWaitHoldsBackTasksBehindIt)
{
    Register();
    TaskBatch* chain = registry->AllocQueue(0);
    chain->PushTask(Work(), &io, "first");
    chain->PushTask(Work(), &render, "second");
    TaskBatch* other = registry->AllocQueue(0);
    other->PushTask(Work(), &render, "behind");
    registry->RouteQueues();
    render.RunCycle();
    for (int i = 0; i < 3; ++i)
        render.RunCycle();
    EXPECT_TRUE(renderModule.ran.empty()); // "behind" waits behind "second"
    for (int i = 0; i < 6; ++i)
        Round();
    EXPECT_EQ(renderModule.ran, (std::vector<std::string>{"second", "behind"}));
    EXPECT_EQ(InFlight(), 0u);
}

TEST_F(Tasks, CancelledChainRetiresLinkByLinkWithoutRunning)
{
    Register();
    TaskBatch* batch = registry->AllocQueue(0);
    TaskMessage* a = batch->PushTask(Work(), &io, "a");
    TaskMessage* b = batch->PushTask(Work(), &render, "b");
    batch->CancelQueuedTasks();
    a->callback = [](uintptr_t, uintptr_t, uintptr_t) { FAIL() << "callback of a cancelled task"; };
    for (int i = 0; i < 6; ++i)
        Round();
    EXPECT_TRUE(ioModule.ran.empty());
    EXPECT_TRUE(renderModule.ran.empty());
    EXPECT_EQ(a->done.load(), 1);
    EXPECT_EQ(b->done.load(), 1);
    EXPECT_FALSE(batch->inUse);
    EXPECT_EQ(InFlight(), 0u);
}

TEST_F(Tasks, CancellingAfterTheHeadRanStillRunsNothingElse)
{
    Register();
    TaskBatch* batch = registry->AllocQueue(0);
    batch->PushTask(Work(), &io, "a");
    batch->PushTask(Work(), &io, "b");
    batch->PushTask(Work(), &io, "c");
    registry->RouteQueues();
    io.RunCycle();
    io.RunCycle();
    EXPECT_EQ(ioModule.ran, std::vector<std::string>{"a"});
    batch->CancelQueuedTasks();
    for (int i = 0; i < 8; ++i)
        Round();
    EXPECT_EQ(ioModule.ran, std::vector<std::string>{"a"});
    EXPECT_FALSE(batch->inUse);
}

TEST_F(Tasks, UnservedTaskIsRetiredAndTheChainGoesOn)
{
    Register();
    TaskBatch* batch = registry->AllocQueue(0);
    TaskMessage nobody;
    nobody.taskId = RSHash("NobodyServesThis");
    batch->PushTask(nobody, &io, "x");
    batch->PushTask(Work(), &render, "after");
    for (int i = 0; i < 6; ++i)
        Round();
    EXPECT_EQ(renderModule.ran, std::vector<std::string>{"after"});
    EXPECT_EQ(InFlight(), 0u);
}

TEST_F(Tasks, CallbackWordsCarryPointers)
{
    Register();
    static uintptr_t seen[3];
    int marker = 0;
    TaskBatch* batch = registry->AllocQueue(0);
    TaskMessage task = Work();
    task.callback = [](uintptr_t a, uintptr_t b, uintptr_t c) {
        seen[0] = a;
        seen[1] = b;
        seen[2] = c;
    };
    task.callbackWords[0] = reinterpret_cast<uintptr_t>(&marker);
    task.callbackWords[1] = 0xFFFFFFFF00000001ull;
    task.callbackWords[2] = 7;
    batch->PushTask(task, &render, "cb");
    for (int i = 0; i < 3; ++i)
        Round();
    EXPECT_EQ(seen[0], reinterpret_cast<uintptr_t>(&marker));
    EXPECT_EQ(seen[1], 0xFFFFFFFF00000001ull);
    EXPECT_EQ(seen[2], 7u);
}

TEST_F(Tasks, BatchStillInUseIsSkippedWhenTheRingComesRound)
{
    Register();
    // A chain that never finishes: its head waits on nothing but is never run.
    TaskBatch* stuck = registry->AllocQueue(0);
    stuck->PushTask(Work(), &io, "stuck");
    registry->RouteQueues();

    // Many short chains on the render thread go round the ring several times.
    for (int i = 0; i < 3000; ++i) {
        TaskBatch* batch = registry->AllocQueue(0);
        ASSERT_NE(batch, stuck);
        batch->PushTask(Work(), &render, "r");
        registry->RouteQueues();
        render.RunCycle();
        render.RunCycle();
        registry->RouteQueues();
        render.RunCycle();
    }
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(renderModule.ran.size(), 3000u);
    EXPECT_EQ(stuck->tasks.At(0).tag.View(), "stuck");
    EXPECT_EQ(InFlight(), 1u);

    io.RunCycle();
    io.RunCycle();
    registry->RouteQueues();
    EXPECT_EQ(InFlight(), 0u);
    EXPECT_FALSE(stuck->inUse);
}

TEST_F(Tasks, BatchForAThreadNotYetAddedWaitsForIt)
{
    ASSERT_TRUE(registry->RegisterThread(&render));
    render.InitThread();
    TaskBatch* batch = registry->AllocQueue(0);
    batch->PushTask(Work(), &io, "early");
    registry->RouteQueues();
    EXPECT_EQ(batch->dispatched, 0);
    EXPECT_EQ(render.inbound.Count(), 0u);

    ASSERT_TRUE(registry->RegisterThread(&io));
    registry->RouteQueues();
    EXPECT_EQ(batch->dispatched, 1);
    EXPECT_EQ(io.inbound.Count(), 1u);
}

TEST_F(Tasks, EmptyBatchIsDispatchedButNeverRetired)
{
    Register();
    TaskBatch* batch = registry->AllocQueue(0);
    for (int i = 0; i < 4; ++i)
        Round();
    EXPECT_EQ(batch->dispatched, 1);
    EXPECT_TRUE(batch->inUse);
    EXPECT_EQ(InFlight(), 1u);
    registry->ResetQueues();
    EXPECT_EQ(InFlight(), 0u);
    EXPECT_FALSE(batch->inUse);
    EXPECT_EQ(registry->threads.count, 0u);
    EXPECT_EQ(registry->queueLocks.count, 0u);
}

TEST_F(Tasks, FourthThreadIsRefusedWithTheListsOverflowLine)
{
    EngineThread net;
    EngineThread extra;
    Register();
    ASSERT_TRUE(registry->RegisterThread(&net));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(registry->RegisterThread(&extra));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "staticVector 1 overflow.\n");
    EXPECT_EQ(registry->threads.count, 3u);
    EXPECT_EQ(registry->threads[0], &io);
    EXPECT_EQ(io.index, 0u);
    EXPECT_EQ(net.index, 2u);
    EXPECT_EQ(extra.index, EngineThread::kNoIndex);
}

struct ExampleArgs {
    using Buffer = PayloadField<void*, 0>;
    using Count = PayloadField<uint16_t, 8>;
    using Name = PayloadField<HashedName128, 16>;
    using Values = PayloadArray<float, 152, 26>;
};

TEST(TaskMessage, PayloadFieldsRoundTripWithFullWidthPointers)
{
    static_assert(sizeof(TaskMessage{}.payload) == 256);
    static_assert(ExampleArgs::Values::kEnd == 256);
    TaskMessage task;
    int target = 0;
    void* high = reinterpret_cast<void*>(uintptr_t{0x7FFF12345678ABCDull});
    task.Set<ExampleArgs::Buffer>(high);
    task.Set<ExampleArgs::Count>(uint16_t{65535});
    HashedName128 name;
    name.Assign("data/shadowDemo.ids");
    task.Set<ExampleArgs::Name>(name);
    EXPECT_TRUE(task.SetAt<ExampleArgs::Values>(25, 2.5f));
    EXPECT_FALSE(task.SetAt<ExampleArgs::Values>(26, 1.0f));

    const TaskMessage copy = task;
    EXPECT_EQ(copy.Get<ExampleArgs::Buffer>(), high);
    EXPECT_EQ(copy.Get<ExampleArgs::Count>(), 65535);
    EXPECT_EQ(copy.Get<ExampleArgs::Name>().View(), "data/shadowDemo.ids");
    EXPECT_EQ(copy.Get<ExampleArgs::Name>().hash, RSHash("data/shadowDemo.ids"));
    float value = 0;
    EXPECT_TRUE(copy.GetAt<ExampleArgs::Values>(25, value));
    EXPECT_EQ(value, 2.5f);
    EXPECT_FALSE(copy.GetAt<ExampleArgs::Values>(26, value));
    task.Set<ExampleArgs::Buffer>(&target);
    EXPECT_EQ(task.Get<ExampleArgs::Buffer>(), &target);
}

TEST(TaskMessage, NewRecordIsClear)
{
    TaskMessage task;
    EXPECT_EQ(task.next, nullptr);
    EXPECT_EQ(task.cancelled.load(), 0);
    EXPECT_EQ(task.target, nullptr);
    EXPECT_EQ(task.taskId, 0u);
    EXPECT_EQ(task.tag.length, 0u);
    EXPECT_EQ(task.tag.hash, 0u);
    EXPECT_EQ(task.waiting.load() | task.done.load() | task.taken.load(), 0);
    EXPECT_EQ(task.batch, nullptr);
    EXPECT_EQ(task.callback, nullptr);
}

} // namespace

namespace {
// How many of the pages under [begin, end) are in memory.
size_t ResidentPages(const void* begin, const void* end)
{
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<uintptr_t>(begin) / page * page;
    const auto last = (reinterpret_cast<uintptr_t>(end) + page - 1) / page * page;
    std::vector<unsigned char> resident((last - first) / page);
    if (mincore(reinterpret_cast<void*>(first), last - first, resident.data()) != 0)
        return resident.size();
    size_t count = 0;
    for (unsigned char r : resident)
        count += r & 1;
    return count;
}
} // namespace

TEST(QueueRegistryMemory, TheRingIsNotTouchedUntilBatchesAreUsed)
{
    auto registry = std::make_unique<QueueRegistry>();
    const void* begin = &registry->ring;
    const void* end = &registry->ring + 1;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t pages = (static_cast<const char*>(end) - static_cast<const char*>(begin)) / page;
    EXPECT_LT(ResidentPages(begin, end), pages / 100) << "of " << pages;

    // Three batches of two records touch their own pages only.
    EngineThread thread;
    thread.SetName("MEMORY_TEST");
    ASSERT_TRUE(registry->RegisterThread(&thread));
    for (int i = 0; i < 3; ++i) {
        TaskBatch* batch = registry->AllocQueue(0);
        TaskMessage task;
        task.taskId = kWorkId;
        ASSERT_NE(batch->PushTask(task, &thread, "a"), nullptr);
        ASSERT_NE(batch->PushTask(task, &thread, "b"), nullptr);
        EXPECT_EQ(batch->tasks.At(1).waiting.load(), 1);
        EXPECT_EQ(batch->tasks.At(0).next, &batch->tasks.At(1));
    }
    EXPECT_LT(ResidentPages(begin, end), pages / 100) << "of " << pages;
    registry->RouteQueues();
    EXPECT_EQ(thread.inbound.Count(), 6u);
    registry->ResetQueues();
}
