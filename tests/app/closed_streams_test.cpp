// Started without standard output (or all three standard streams) and with the
// network link on, the program has /dev/null in their place, not a socket of
// the link's, and Ctrl+C still ends it in order.
#include <gtest/gtest.h>

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
        net_test::Client client(port); // an answer: the link has opened all it opens
        ASSERT_TRUE(client.Send(net_test::ToBytes("anything")) && client.Receive());
        for (int fd : closed)
            EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(program.Pid()) + "/fd/" + std::to_string(fd)),
                      fs::path("/dev/null"));
        program.Signal(SIGINT);
        EXPECT_EQ(program.Wait(), 0);
    }
}
