// The request listeners: header matches, the tasks they post to RENDERTHREAD
// and what they answer, driven both directly and through the real server.
#include <gtest/gtest.h>

#include <zmq.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "kernel/engine_thread.h"
#include "kernel/engine_threads.h"
#include "kernel/queue_registry.h"
#include "kernel/thread_map.h"
#include "net/net_thread.h"
#include "platform/bytes/byte_reader.h"
#include "net/para_reply.h"
#include "net/para_tasks.h"
#include "net/request_listeners.h"
#include "testing/net_support.h"

using namespace net_test;

namespace {

struct Posted {
    uint32_t taskId;
    std::string tag;
    Bytes payload;
};

class Listeners : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = FreeLoopbackPort();
        UseNetSettings(port);
        registry = GetQueueRegistry();
        registry->ResetQueues();
        ResetPendingNetTasks();
        ResetParaReply();
        render.SetName("RENDERTHREAD");
        ASSERT_TRUE(registry->RegisterThread(&render));
        render.InitThread();
    }
    void TearDown() override
    {
        registry->ResetQueues();
        ResetPendingNetTasks();
        GetTargetRecordStore().Clear();
    }

    // The tasks routing hands to RENDERTHREAD since the last call.
    std::vector<Posted> Route()
    {
        registry->RouteQueues();
        std::vector<Posted> posted;
        for (uint32_t i = seen; i != render.inbound.write; ++i) {
            const TaskMessage* task = render.inbound.At(i);
            posted.push_back({task->taskId, std::string(task->tag.View()),
                              Bytes(task->payload, task->payload + kTaskPayloadSize)});
        }
        seen = render.inbound.write;
        return posted;
    }

    platform::testing::ScriptedMessageBoxes boxes;
    std::string port;
    QueueRegistry* registry = nullptr;
    EngineThread render;
    NetThread server; // unbound: the listeners are called by hand
    uint32_t seen = 0;
};

Bytes Payload(const Bytes& request, size_t size)
{
    Bytes payload(kTaskPayloadSize, 0);
    std::memcpy(payload.data(), request.data() + 8, size);
    return payload;
}

} // namespace

TEST_F(Listeners, AWeatherRequestPostsItsRecordButIsNotAnswered)
{
    MeteoListener meteo(&server);
    const Bytes request = Request("WEATHER0", 49 + 5); // bytes after the record are ignored
    EXPECT_FALSE(meteo.OnRequest(request.data(), request.size()));
    const auto posted = Route();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].taskId, RSHash("setWeather"));
    EXPECT_EQ(posted[0].tag, "nw");
    EXPECT_EQ(posted[0].payload, Payload(request, 49));
    EXPECT_EQ(meteo.ReplyMessage(), nullptr);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Listeners, EachParaRequestKindPostsItsOwnTask)
{
    ParaListener para(&server);

    const Bytes state = Request("PARAMSET", 81);
    EXPECT_TRUE(para.OnRequest(state.data(), state.size()));
    const Bytes prealloc = {'P', 'R', 'E', 'A', 'L', 'L', 'O', 'C', 0x34, 0x12};
    EXPECT_FALSE(para.OnRequest(prealloc.data(), prealloc.size()));
    const Bytes targets = Request("PARATRGT", 3456);
    EXPECT_FALSE(para.OnRequest(targets.data(), targets.size()));

    const auto posted = Route();
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[0].taskId, RSHash("setPara"));
    EXPECT_EQ(posted[0].tag, "np");
    EXPECT_EQ(posted[0].payload, Payload(state, 81));
    EXPECT_EQ(posted[1].taskId, RSHash("paraPrealloc"));
    EXPECT_EQ(posted[1].tag, "na");
    EXPECT_EQ(posted[1].payload[0], 0x34);
    EXPECT_EQ(posted[1].payload[1], 0x12);
    EXPECT_EQ(posted[2].taskId, RSHash("paraTarget"));
    EXPECT_EQ(posted[2].tag, "nt");

    // The whole targets record reaches the handler's side.
    TargetRecordTicket ticket;
    std::memcpy(&ticket, posted[2].payload.data(), sizeof(ticket));
    ParaTargetRecordBytes record{};
    ASSERT_TRUE(GetTargetRecordStore().Take(ticket, record));
    EXPECT_EQ(0, std::memcmp(record.data(), targets.data() + 8, 3456));
    EXPECT_FALSE(GetTargetRecordStore().Take(ticket, record)); // taken once
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Listeners, AParaStateRequestIsAnsweredWithTheBlockAsItStoodBefore)
{
    ParaListener para(&server);
    const Bytes state = Request("PARAMSET", 81);
    ASSERT_TRUE(para.OnRequest(state.data(), state.size()));
    ASSERT_NE(para.ReplyMessage(), nullptr);
    const auto* bytes = static_cast<const uint8_t*>(para.ReplyMessage()->data());
    EXPECT_EQ(Bytes(bytes, bytes + para.ReplyMessage()->size()),
              (Bytes{'P', 'A', 'R', 'A', 'R', 'E', 'P', 'L', 0, 0, 0, 0, 0}));

    ParaReply changed;
    changed.SetFlags(9);
    changed.SetValue(-2.5f);
    WriteParaReply(changed);
    ASSERT_TRUE(para.OnRequest(state.data(), state.size()));
    bytes = static_cast<const uint8_t*>(para.ReplyMessage()->data());
    EXPECT_EQ(Bytes(bytes, bytes + 13), Bytes(changed.bytes.begin(), changed.bytes.end()));
}

TEST_F(Listeners, RequestsTooShortForTheirRecordAreNotPosted)
{
    MeteoListener meteo(&server);
    ParaListener para(&server);
    const struct {
        const char* header;
        size_t record;
    } kinds[] = {{"WEATHER0", 49}, {"PARAMSET", 81}, {"PREALLOC", 2}, {"PARATRGT", 3456}};
    for (const auto& kind : kinds) {
        for (size_t size : {size_t{0}, size_t{3}, size_t{8}, 8 + kind.record - 1}) {
            Bytes request = Request(kind.header, kind.record);
            request.resize(size);
            EXPECT_FALSE(meteo.OnRequest(request.data(), request.size()));
            EXPECT_FALSE(para.OnRequest(request.data(), request.size())) << kind.header << " " << size;
        }
    }
    EXPECT_TRUE(Route().empty());
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Listeners, HeadersShorterThanEightCharactersMatchNothing)
{
    UseNetSettings(port, "SHORT", "PARAMSET", "", "PARATRGT");
    GetSettings().Set("net", "targetHeader", "PARATRGT-and-more"); // its first 8 bytes count
    MeteoListener meteo(&server);
    ParaListener para(&server);
    for (const char* header : {"SHORT\0\0\0", "\0\0\0\0\0\0\0\0"}) {
        Bytes request(header, header + 8);
        request.resize(8 + 3456, 0);
        EXPECT_FALSE(meteo.OnRequest(request.data(), request.size()));
        EXPECT_FALSE(para.OnRequest(request.data(), request.size()));
    }
    EXPECT_TRUE(Route().empty());
    const Bytes targets = Request("PARATRGT", 3456);
    para.OnRequest(targets.data(), targets.size());
    EXPECT_EQ(Route().size(), 1u);
}

TEST_F(Listeners, HeadersAreReadOnceAtTheFirstRequest)
{
    MeteoListener meteo(&server);
    const Bytes request = Request("WEATHER0", 49);
    meteo.OnRequest(request.data(), request.size());
    GetSettings().Set("net", "meteoHeader", "CHANGED!");
    meteo.OnRequest(request.data(), request.size());
    const Bytes changed = Request("CHANGED!", 49);
    meteo.OnRequest(changed.data(), changed.size());
    EXPECT_EQ(Route().size(), 2u);
}

// Runs `work` on a thread of its own; a wait that outlives the patience is
// ended by the server's stop, so a fault shows as a failure, never a hang.
class Beside {
public:
    Beside(NetThread& server, std::function<void()> work) : server_(server), thread_(std::move(work)) {}
    ~Beside() { Join(); }
    // False when the work had to be stopped.
    bool Join()
    {
        if (!thread_.joinable())
            return !stopped_;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done_.load() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        if (!done_.load()) {
            stopped_ = true;
            server_.stop.store(true);
            WakeNetTaskWaiters();
        }
        thread_.join();
        return !stopped_;
    }
    void Done() { done_.store(true); }

private:
    NetThread& server_;
    std::atomic<bool> done_{false};
    bool stopped_ = false;
    std::thread thread_; // last: the work may call Done at once
};

TEST_F(Listeners, BeforeRenderThreadIsRegisteredARequestWaitsForIt)
{
    GetThreadMap().Erase(kRenderThreadId, &render);
    ParaListener para(&server);
    const Bytes state = Request("PARAMSET", 81);
    std::atomic<bool> answered{false};
    Beside beside(server, [&] {
        answered.store(para.OnRequest(state.data(), state.size()));
        beside.Done();
    });
    // Nothing is posted (nor answered) while there is no render thread.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(answered.load());
    EXPECT_EQ(PendingNetTasks(), 0u);
    GetThreadMap().Insert(kRenderThreadId, &render);
    ASSERT_TRUE(beside.Join());
    EXPECT_TRUE(answered.load());
    const auto posted = Route();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].taskId, RSHash("setPara"));
    EXPECT_TRUE(boxes.Shown().empty());
}

// 3000 requests of every kind, far more than may wait: each is answered only
// once its task is posted, no more than kMaxPendingNetTasks wait at a time,
// and every task reaches the render thread with its own record.
TEST_F(Listeners, AFloodWaitsForTheRenderThreadAndLosesNothing)
{
    MeteoListener meteo(&server);
    ParaListener para(&server);
    constexpr uint32_t kRequests = 3000;
    const auto requestFor = [](uint32_t i) {
        static const char* const kHeaders[] = {"WEATHER0", "PARAMSET", "PREALLOC", "PARATRGT"};
        static const size_t kRecords[] = {49, 81, 2, 3456};
        Bytes request = Request(kHeaders[i % 4], kRecords[i % 4]);
        request[8] = static_cast<uint8_t>(i);
        request[9] = static_cast<uint8_t>(i >> 8);
        return request;
    };
    std::atomic<uint32_t> offered{0};
    Beside beside(server, [&] {
        for (uint32_t i = 0; i < kRequests; ++i) {
            const Bytes request = requestFor(i);
            meteo.OnRequest(request.data(), request.size());
            para.OnRequest(request.data(), request.size());
            offered.store(i + 1);
        }
        beside.Done();
    });

    // The render thread's side: route, check what arrived, run it.
    uint32_t arrived = 0;
    uint32_t next = render.inbound.write;
    uint32_t mostWaiting = 0;
    bool recordsWhole = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (arrived < kRequests && std::chrono::steady_clock::now() < deadline) {
        mostWaiting = std::max(mostWaiting, PendingNetTasks());
        registry->RouteQueues();
        for (; next != render.inbound.write; ++next) {
            const TaskMessage* task = render.inbound.At(next);
            const uint32_t i = arrived;
            const uint32_t expectedId =
                i % 4 == 0 ? kSetWeatherId : i % 4 == 1 ? kSetParaId : i % 4 == 2 ? kParaPreallocId : kParaTargetId;
            EXPECT_EQ(task->taskId, expectedId) << i;
            const uint16_t number = platform::ByteReader(task->payload, 2).U16();
            if (i % 4 == 3) {
                ParaTargetRecordBytes record{};
                recordsWhole = recordsWhole && GetTargetRecordStore().Take(task->Get<ParaTargetArgs::Ticket>(), record) &&
                               0 == std::memcmp(record.data(), requestFor(i).data() + 8, record.size());
            } else {
                EXPECT_EQ(number, static_cast<uint16_t>(i)) << i;
            }
            ++arrived;
        }
        render.RunCycle();
        render.ProcessHeadTask();
    }
    ASSERT_TRUE(beside.Join()) << offered.load() << " requests offered, " << arrived << " tasks arrived";
    EXPECT_EQ(arrived, kRequests);
    EXPECT_TRUE(recordsWhole);
    EXPECT_LE(mostWaiting, kMaxPendingNetTasks);
    EXPECT_TRUE(boxes.Shown().empty()); // no ring overflow
}

// A stop ends the wait for a place: nothing is posted and the request is not
// answered.
TEST_F(Listeners, AStopEndsTheWaitAndTheRequestIsLeftUnanswered)
{
    for (uint32_t i = 0; i < kMaxPendingNetTasks; ++i)
        ASSERT_TRUE(ReserveNetTask(nullptr));
    EXPECT_FALSE(ReserveNetTask(nullptr)); // no place, and no waiting without a stop flag
    ParaListener para(&server);
    const Bytes targets = Request("PARATRGT", 3456);
    Beside beside(server, [&] {
        para.OnRequest(targets.data(), targets.size());
        beside.Done();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    StopThread(&server); // the unbound server's wake rouses the waiting listener
    ASSERT_TRUE(beside.Join());
    EXPECT_TRUE(Route().empty());
    EXPECT_EQ(GetTargetRecordStore().UsedSlots(), 0u);
    EXPECT_EQ(PendingNetTasks(), kMaxPendingNetTasks);
    ReleaseNetTask();
    EXPECT_EQ(PendingNetTasks(), kMaxPendingNetTasks - 1);
}

// ---- Through the server ----

class ServedListeners : public Listeners {
protected:
    void SetUp() override
    {
        Listeners::SetUp();
        ASSERT_TRUE(served.InitNetwork("127.0.0.1"));
    }

    std::optional<Bytes> RoundTrip(Client& client, const Bytes& request)
    {
        if (!client.Send(request))
            return std::nullopt;
        served.ServeRequest();
        return client.Receive();
    }

    NetThread served;
};

TEST_F(ServedListeners, OnlyAParaStateRequestGetsTheBlockEveryOtherDummymsg)
{
    MeteoListener meteo(&served);
    ParaListener para(&served);
    Client client(port);
    EXPECT_EQ(ToText(*RoundTrip(client, Request("WEATHER0", 49))), "DUMMYMSG");
    EXPECT_EQ(ToText(*RoundTrip(client, Request("PREALLOC", 2))), "DUMMYMSG");
    EXPECT_EQ(ToText(*RoundTrip(client, Request("PARATRGT", 3456))), "DUMMYMSG");
    EXPECT_EQ(ToText(*RoundTrip(client, Request("PARAMSET", 80))), "DUMMYMSG"); // short
    EXPECT_EQ(*RoundTrip(client, Request("PARAMSET", 81)), (Bytes{'P', 'A', 'R', 'A', 'R', 'E', 'P', 'L', 0, 0, 0, 0, 0}));
    EXPECT_EQ(ToText(*RoundTrip(client, ToBytes("Hello"))), "DUMMYMSG");

    const auto posted = Route();
    ASSERT_EQ(posted.size(), 4u);
    EXPECT_EQ(posted[0].tag, "nw");
    EXPECT_EQ(posted[1].tag, "na");
    EXPECT_EQ(posted[2].tag, "nt");
    EXPECT_EQ(posted[3].tag, "np");
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(ServedListeners, EqualMeteoAndParaHeadersPostBothAndAnswerTheBlock)
{
    UseNetSettings(port, "SAMEHEAD", "SAMEHEAD");
    MeteoListener meteo(&served);
    ParaListener para(&served);
    Client client(port);
    const auto reply = RoundTrip(client, Request("SAMEHEAD", 81));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->size(), 13u);
    const auto posted = Route();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].taskId, RSHash("setWeather"));
    EXPECT_EQ(posted[1].taskId, RSHash("setPara"));
}

TEST_F(ServedListeners, EqualParaAndPreallocHeadersPostOnlySetPara)
{
    UseNetSettings(port, "WEATHER0", "SAMEHEAD", "SAMEHEAD");
    MeteoListener meteo(&served);
    ParaListener para(&served);
    Client client(port);
    ASSERT_TRUE(RoundTrip(client, Request("SAMEHEAD", 81)));
    const auto posted = Route();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].taskId, RSHash("setPara"));
}

// Through the serving thread: a request that finds every place taken is
// answered only once its task is posted; one still waiting at the stop is not
// answered at all.
TEST_F(ServedListeners, ARequestIsAnsweredOnlyOnceItsTaskIsPosted)
{
    MeteoListener meteo(&served);
    ParaListener para(&served);
    for (uint32_t i = 0; i < kMaxPendingNetTasks; ++i)
        ASSERT_TRUE(ReserveNetTask(nullptr));
    served.StartThread(false);
    Client client(port, 200);
    ASSERT_TRUE(client.Send(Request("PARAMSET", 81)));
    EXPECT_FALSE(client.Receive()); // waiting for a place
    EXPECT_TRUE(Route().empty());

    ReleaseNetTask();
    Client patient(port, 200);
    ASSERT_TRUE(patient.Send(Request("WEATHER0", 49))); // queued behind the first
    const auto reply = client.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->size(), 13u);
    auto posted = Route();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].taskId, RSHash("setPara"));

    // The weather request now waits for a place until the stop ends its wait.
    StopThread(&served);
    served.handle.TerminateThreadHandle();
    EXPECT_FALSE(patient.Receive());
    EXPECT_TRUE(Route().empty());
    EXPECT_EQ(PendingNetTasks(), kMaxPendingNetTasks);
    EXPECT_TRUE(boxes.Shown().empty());
}

// A listener taken out while the server waits for room in its name: the wait
// ends, nothing is posted, the request goes on to the listeners after it (none:
// "DUMMYMSG"), and the server goes on.
TEST_F(ServedListeners, ALeavingListenerEndsItsWaitForRoomAndTheServerGoesOn)
{
    auto para = std::make_unique<ParaListener>(&served);
    for (uint32_t i = 0; i < kMaxPendingNetTasks; ++i)
        ASSERT_TRUE(ReserveNetTask(nullptr));
    served.StartThread(false);
    Client client(port, 200);
    ASSERT_TRUE(client.Send(Request("PARAMSET", 81)));
    EXPECT_FALSE(client.Receive()); // waiting for a place
    Beside leaving(served, [&] {
        para.reset();
        leaving.Done();
    });
    ASSERT_TRUE(leaving.Join());
    auto reply = client.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(ToText(*reply), "DUMMYMSG");
    ASSERT_TRUE(client.Send(ToBytes("next")));
    reply = client.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(ToText(*reply), "DUMMYMSG");
    StopThread(&served);
    served.handle.TerminateThreadHandle();
    EXPECT_TRUE(Route().empty());
}
