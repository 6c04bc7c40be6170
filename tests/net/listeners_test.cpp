// The request listeners: header matches, the tasks they post to RENDERTHREAD
// and what they answer, driven both directly and through the real server.
#include <gtest/gtest.h>

#include <zmq.hpp>

#include <cstring>
#include <vector>

#include "kernel/engine_thread.h"
#include "kernel/engine_threads.h"
#include "kernel/queue_registry.h"
#include "kernel/thread_map.h"
#include "net/net_thread.h"
#include "net/para_reply.h"
#include "net/para_tasks.h"
#include "net/request_listeners.h"
#include "tests/net/net_support.h"

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

TEST_F(Listeners, WithoutRenderThreadNothingIsPostedButTheAnswerStands)
{
    GetThreadMap().Erase(kRenderThreadId, &render);
    ParaListener para(&server);
    const Bytes state = Request("PARAMSET", 81);
    EXPECT_TRUE(para.OnRequest(state.data(), state.size()));
    EXPECT_EQ(PendingNetTasks(), 0u);
    EXPECT_TRUE(Route().empty());
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Listeners, AFloodIsAnsweredButOnlyABoundedNumberOfTasksWait)
{
    ParaListener para(&server);
    const Bytes state = Request("PARAMSET", 81);
    for (uint32_t i = 0; i < 3000; ++i)
        ASSERT_TRUE(para.OnRequest(state.data(), state.size()));
    EXPECT_EQ(PendingNetTasks(), kMaxPendingNetTasks);
    EXPECT_EQ(Route().size(), kMaxPendingNetTasks);
    EXPECT_TRUE(boxes.Shown().empty()); // no ring overflow

    // Each task that runs makes room for one more.
    render.RunCycle();
    render.ProcessHeadTask();
    EXPECT_EQ(PendingNetTasks(), kMaxPendingNetTasks - 1);
    ASSERT_TRUE(para.OnRequest(state.data(), state.size()));
    EXPECT_EQ(PendingNetTasks(), kMaxPendingNetTasks);
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
