// Started without standard input, output or error, the program runs with them
// on /dev/null: the network link's own descriptors never take their numbers,
// so the log is not written into a socket, and Ctrl+C still ends it in order.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "testing/net_support.h"
#include "tests/support/program_run.h"

using namespace zandrel_test;

TEST(ClosedStreams, AreOpenedOnDevNullBeforeTheNetworkLinkOpensItsOwn)
{
    for (const std::vector<int>& closed : {std::vector<int>{1}, std::vector<int>{0, 1, 2}}) {
        const std::string port = net_test::FreeLoopbackPort();
        ProgramRun program("[Graphics]\nwidth=64\nheight=64\ninstancingBufferSize=64\n[net]\nasync=1\nprotocol=tcp\n"
                           "port=" + port + "\n");
        ASSERT_TRUE(program.Start(closed));
        {
            // Once it answers, the network link has opened everything it opens.
            net_test::Client client(port);
            ASSERT_TRUE(client.Send(net_test::ToBytes("anything")));
            ASSERT_TRUE(client.Receive()) << program.Err();
        }
        const std::string fds = "/proc/" + std::to_string(program.Pid()) + "/fd/";
        for (int fd : closed)
            EXPECT_EQ(fs::read_symlink(fds + std::to_string(fd)).string(), "/dev/null") << fd;
        program.Signal(SIGINT);
        EXPECT_EQ(program.Wait(), 0);
    }
}
