// The reply server on real sockets: one reply per request, the listeners in
// order, the default reply, malformed requests, the bind failure and the wake.
#include <gtest/gtest.h>

#include <zmq.hpp>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "kernel/error_stream.h"
#include "net/net_listener.h"
#include "net/net_thread.h"
#include "testing/net_support.h"
#include "testing/test_files.h"

using namespace net_test;

namespace {

// Records what it is offered; accepts with its own reply when asked to.
class Recorder : public NetListener {
public:
    Recorder(NetThread* server, std::string answer = "") : NetListener(server), answer_(std::move(answer)) {}

    bool OnRequest(const uint8_t* request, size_t size) override
    {
        std::lock_guard guard(lock_);
        seen_.emplace_back(request, request + size);
        if (answer_.empty())
            return false;
        replyMessage = std::make_unique<zmq::message_t>(answer_.data(), answer_.size());
        return true;
    }

    std::vector<Bytes> Seen()
    {
        std::lock_guard guard(lock_);
        return seen_;
    }

private:
    std::string answer_;
    std::mutex lock_;
    std::vector<Bytes> seen_;
};

// A raw TCP peer: connects, sends `bytes` and is gone.
void SendRaw(const std::string& port, const Bytes& bytes)
{
    sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(std::stoi(port))), {htonl(INADDR_LOOPBACK)}, {}};
    const int peer = ::socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_EQ(::connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::write(peer, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(peer);
}

class Server : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = FreeLoopbackPort();
        UseNetSettings(port);
        ASSERT_TRUE(net.InitNetwork("127.0.0.1"));
    }

    // One request served on the test's thread: sent, served, answered.
    std::optional<Bytes> RoundTrip(Client& client, const Bytes& request)
    {
        if (!client.Send(request))
            return std::nullopt;
        net.ServeRequest();
        return client.Receive();
    }

    platform::testing::ScriptedMessageBoxes boxes;
    std::string port;
    NetThread net;
};

} // namespace

TEST(Endpoints, BindAllInterfacesAndWakeThroughLocalhost)
{
    EXPECT_EQ(ServerEndpoint("tcp", "5555"), "tcp://*:5555");
    EXPECT_EQ(WakeEndpoint("tcp", "5555"), "tcp://localhost:5555");
    EXPECT_EQ(ServerEndpoint("", ""), "://*:");
}

TEST_F(Server, UnacceptedRequestsAreAnsweredDummymsgEveryTime)
{
    Recorder quiet(&net);
    Client client(port);
    for (int i = 0; i < 3; ++i) {
        auto reply = RoundTrip(client, ToBytes("anything at all"));
        ASSERT_TRUE(reply);
        EXPECT_EQ(ToText(*reply), "DUMMYMSG");
    }
    EXPECT_EQ(quiet.Seen().size(), 3u);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Server, TheFirstListenerThatAcceptsAnswersAndTheRestAreNotAsked)
{
    Recorder before(&net);
    auto first = std::make_unique<Recorder>(&net, "FIRST");
    Recorder second(&net, "SECOND");
    Client client(port);
    auto reply = RoundTrip(client, ToBytes("request"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(ToText(*reply), "FIRST");
    EXPECT_EQ(before.Seen(), std::vector<Bytes>{ToBytes("request")});
    EXPECT_EQ(first->Seen().size(), 1u);
    EXPECT_TRUE(second.Seen().empty());

    first.reset();
    reply = RoundTrip(client, ToBytes("again"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(ToText(*reply), "SECOND");
}

TEST_F(Server, ARemovedListenerIsNeverAskedAgain)
{
    auto gone = std::make_unique<Recorder>(&net, "GONE");
    EXPECT_EQ(net.ListenerCount(), 1u);
    gone.reset();
    EXPECT_EQ(net.ListenerCount(), 0u);
    Client client(port);
    auto reply = RoundTrip(client, ToBytes("x"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(ToText(*reply), "DUMMYMSG");
}

TEST_F(Server, EmptyAndMultiPartRequestsGetTheDefaultReply)
{
    Recorder seen(&net, "ACCEPTED");
    Client client(port);
    auto reply = RoundTrip(client, Bytes{});
    ASSERT_TRUE(reply);
    // An empty request is offered with its length 0 (and accepted here).
    EXPECT_EQ(ToText(*reply), "ACCEPTED");
    ASSERT_EQ(seen.Seen().size(), 1u);
    EXPECT_TRUE(seen.Seen()[0].empty());

    ASSERT_TRUE(client.SendParts({ToBytes("PARAMSET"), Bytes(81, 0), ToBytes("tail")}));
    net.ServeRequest();
    reply = client.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(ToText(*reply), "DUMMYMSG");
    EXPECT_EQ(seen.Seen().size(), 1u); // not offered

    // The socket is in step afterwards.
    reply = RoundTrip(client, ToBytes("next"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(ToText(*reply), "ACCEPTED");
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Server, TheWakeRequestIsOfferedAndAnsweredLikeAnyOther)
{
    Recorder seen(&net);
    net.StartThread(false);
    Client client(port); // one served request: the loop runs and waits in its receive
    ASSERT_TRUE(client.Send(ToBytes("first")));
    ASSERT_TRUE(client.Receive());
    // In its next step, waiting for the next request.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (net.ServingSteps() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(net.ServingSteps(), 2u);
    StopThread(&net); // the wake: "Hello", answered, and the loop sees its stop flag
    net.handle.TerminateThreadHandle();
    EXPECT_EQ(seen.Seen(), (std::vector<Bytes>{ToBytes("first"), ToBytes("Hello")}));
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Server, AServingThreadAnswersClientsUntilItIsStopped)
{
    Recorder seen(&net, "");
    net.StartThread(false);
    {
        Client client(port);
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(client.Send(ToBytes("request " + std::to_string(i))));
            auto reply = client.Receive();
            ASSERT_TRUE(reply);
            EXPECT_EQ(ToText(*reply), "DUMMYMSG");
        }
    }
    // Stopped through the wake and joined before the listener goes: a
    // listener must never be destroyed under a serving thread.
    StopThread(&net);
    net.handle.TerminateThreadHandle();
    const std::vector<Bytes> requests = seen.Seen();
    ASSERT_GE(requests.size(), 20u); // and "Hello" when the wake found it waiting
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(requests[i], ToBytes("request " + std::to_string(i)));
}

// Peers that are no REQ sockets, gone as soon as they have sent: random bytes,
// and bytes the library reads as a message with no empty part before its body
// (unversioned framing: an empty routing id, "x" with more to come, "y").
TEST_F(Server, GarbagePeersBesideAClientLeaveEveryRequestAnswered)
{
    Recorder seen(&net, "ANSWER");
    net.StartThread(false);
    Client client(port);
    std::mt19937 random(28);
    for (int round = 0; round < 40; ++round) {
        Bytes garbage(500);
        std::generate(garbage.begin(), garbage.end(), [&] { return static_cast<uint8_t>(random()); });
        if (round % 2 == 0)
            garbage = {1, 0, 2, 1, 'x', 2, 0, 'y'};
        SendRaw(port, garbage);
        ASSERT_TRUE(client.Send(ToBytes("request")));
        const auto reply = client.Receive();
        ASSERT_TRUE(reply) << "round " << round;
        EXPECT_EQ(ToText(*reply), "ANSWER");
    }
    StopThread(&net);
    net.handle.TerminateThreadHandle();
}

TEST(ServerSetUp, AnEndpointThatCannotBeBoundIsReportedAndLeavesTheThreadIdle)
{
    UseNetSettings("");
    GetSettings().Set("net", "protocol", "");
    platform::testing::ScriptedMessageBoxes boxes;
    NetThread net;
    EXPECT_FALSE(net.InitNetwork("127.0.0.1"));
    EXPECT_FALSE(net.IsBound());
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text.rfind("ZeroMQ error: ", 0), 0u) << boxes.Shown()[0].text;

    // Unbound, the thread idles, and its wake still stops it.
    net.StartThread(false);
    StopThread(&net);
    net.handle.TerminateThreadHandle();
    EXPECT_EQ(boxes.Shown().size(), 1u);
}

TEST(Endpoints, APortIsADecimalNumberFrom1To65535)
{
    for (const char* good : {"1", "5555", "65535", "00080"})
        EXPECT_TRUE(IsPortNumber(good)) << good;
    for (const char* bad : {"", "0", "65536", "99999", "-1", "+80", " 80", "80 ", "0x50", "5555;", "*", "123456"})
        EXPECT_FALSE(IsPortNumber(bad)) << bad;
    EXPECT_FALSE(IsPortNumber(std::string(5000, '9')));
    EXPECT_TRUE(TakesPortNumber("tcp"));
    EXPECT_FALSE(TakesPortNumber("ipc"));
    EXPECT_FALSE(TakesPortNumber("inproc"));
}

// The library would listen on 99999 modulo 65536, or somewhere of its own
// for the others: such a port is refused and said so, and nothing listens.
TEST(ServerSetUp, APortThatIsNoPortNumberIsRefusedAndSaidSo)
{
    struct Case {
        std::string port;
        std::string shown;
    };
    const Case cases[] = {
        {"99999", "\"99999\""},
        {"-1", "\"-1\""},
        {"0", "\"0\""},
        {std::string(5000, '7'), "\"" + std::string(24, '7') + "...\""},
    };
    for (const Case& c : cases) {
        UseNetSettings(c.port);
        platform::testing::ScriptedMessageBoxes boxes;
        NetThread net;
        EXPECT_FALSE(net.InitNetwork("127.0.0.1"));
        EXPECT_FALSE(net.IsBound());
        ASSERT_EQ(boxes.Shown().size(), 1u);
        EXPECT_NE(boxes.Shown()[0].text.find("Bad port in section net: " + c.shown +
                                             " is no number from 1 to 65535; the network link stays off."),
                  std::string::npos)
            << boxes.Shown()[0].text;
    }
    UseNetSettings(FreeLoopbackPort());
}

TEST(ServerSetUp, APortInUseIsReported)
{
    const std::string port = FreeLoopbackPort();
    UseNetSettings(port);
    platform::testing::ScriptedMessageBoxes boxes;
    NetThread first;
    ASSERT_TRUE(first.InitNetwork("127.0.0.1"));
    NetThread second;
    EXPECT_FALSE(second.InitNetwork("127.0.0.1"));
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_NE(boxes.Shown()[0].text.find("ZeroMQ error: Address already in use"), std::string::npos)
        << boxes.Shown()[0].text;
    UseNetSettings(FreeLoopbackPort());
}

// Over ipc the server binds "*:" + port: the library makes a socket file in a
// folder of its own under TMPDIR. The wake does not look for it at "localhost"
// but ends the context at once; the release removes file and folder.
TEST(ServerSetUp, AnIpcEndpointStopsAtOnceAndLeavesNothingBehind)
{
    zandrel_test::TempDir temp("zandrel-net-ipc");
    const std::string savedTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", temp.Dir().c_str(), 1);
    UseNetSettings("sock");
    GetSettings().Set("net", "protocol", "ipc");
    platform::testing::ScriptedMessageBoxes boxes;
    NetThread net;
    EXPECT_TRUE(net.InitNetwork());
    EXPECT_FALSE(std::filesystem::is_empty(temp.Dir()));
    net.StartThread(false);
    StopThread(&net);
    net.handle.TerminateThreadHandle();
    net.ReleaseNetwork();
    EXPECT_TRUE(std::filesystem::is_empty(temp.Dir()));
    EXPECT_TRUE(boxes.Shown().empty());
    savedTmp.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", savedTmp.c_str(), 1);
    UseNetSettings(FreeLoopbackPort());
}

TEST(NetThread, GetterNamesItsThread)
{
    EXPECT_EQ(GetNetThread()->name.View(), "NETTHREAD");
    EXPECT_EQ(GetNetThread()->id, kNetThreadId);
}
