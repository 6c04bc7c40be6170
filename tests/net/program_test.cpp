// The built program with section net's async set: it answers requests on its
// endpoint while it runs and stops the network thread in its place at the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>

#include "testing/net_support.h"
#include "tests/support/program_run.h"

using namespace net_test;
using zandrel_test::Lines;
using zandrel_test::LinesAmong;
using zandrel_test::ProgramRun;

namespace {

std::string NetSettings(const std::string& port)
{
    return "[Graphics]\nwidth=64\nheight=64\ninstancingBufferSize=64\n[net]\nasync=1\nprotocol=tcp\nport=" + port +
           "\nmeteoHeader=WEATHER0\nparaHeader=PARAMSET\npreallocHeader=PREALLOC\ntargetHeader=PARATRGT\n";
}

} // namespace

TEST(NetProgram, AnswersRequestsWhileRunningAndStopsTheNetworkThreadInOrder)
{
    const std::string port = FreeLoopbackPort();
    ProgramRun program(NetSettings(port));
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitUntilItCatches(SIGINT)) << program.Out() << program.Err();
    {
        Client client(port);
        ASSERT_TRUE(client.Send(ToBytes("anything")));
        auto reply = client.Receive();
        ASSERT_TRUE(reply) << program.Out() << program.Err();
        EXPECT_EQ(ToText(*reply), "DUMMYMSG");
        for (const auto& request : {Request("WEATHER0", 49), Request("PREALLOC", 2), Request("PARATRGT", 3456)}) {
            ASSERT_TRUE(client.Send(request));
            reply = client.Receive();
            ASSERT_TRUE(reply);
            EXPECT_EQ(ToText(*reply), "DUMMYMSG");
        }
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(client.Send(Request("PARAMSET", 81)));
            reply = client.Receive();
            ASSERT_TRUE(reply);
            EXPECT_EQ(*reply, (Bytes{'P', 'A', 'R', 'A', 'R', 'E', 'P', 'L', 0, 0, 0, 0, 0}));
        }
    }
    program.Signal(SIGINT);
    ASSERT_EQ(program.Wait(), 0) << program.Out() << program.Err();

    const std::string out = program.Out();
    EXPECT_EQ(LinesAmong(out, {"closed NETTHREAD"}).size(), 1u) << out;
    // NETTHREAD is the second thread: its stop is joined in its place.
    EXPECT_EQ(LinesAmong(out, {"[dbg] terminating thread 1", "[dbg] TERMINATE 1 1", "[dbg] terminating thread 2",
                               "closed RENDERTHREAD"}),
              (std::vector<std::string>{"[dbg] TERMINATE 1 1", "[dbg] terminating thread 1", "[dbg] TERMINATE 1 1",
                                        "[dbg] terminating thread 2", "closed RENDERTHREAD"}))
        << out;
    const auto lines = Lines(out);
    const auto at = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line); };
    EXPECT_LT(at("closed NETTHREAD"), at("[dbg] terminating thread 2")) << out;
    EXPECT_EQ(program.Err().find("ZeroMQ error"), std::string::npos) << program.Err();
}

TEST(NetProgram, AnEndpointThatCannotBeBoundIsReported)
{
    // With no terminal the error box cannot be answered "Continue Anyway": the
    // program ends with exit code 1 after showing it.
    ProgramRun program("[Graphics]\nwidth=64\nheight=64\ninstancingBufferSize=64\n[net]\nasync=1\n");
    ASSERT_TRUE(program.Start());
    EXPECT_EQ(program.Wait(), 1);
    EXPECT_NE(program.Err().find("ZeroMQ error: "), std::string::npos) << program.Err();
}
