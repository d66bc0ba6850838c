// Descriptors and wake-ups over many connections.
#include "tests/net/net_fixtures.h"

namespace station::net::test {
namespace {

TEST_F(SocketTest, TenThousandConnectCloseCyclesLeaveNoDescriptorBehind) {
    Listener server;
    const int before = OpenDescriptorCount();
    for (int cycle = 0; cycle < 10000; ++cycle) {
        client.SetAddress("127.0.0.1");
        client.SetPort(server.Port());
        client.SetActive(true);
        const int peer = server.Accept();
        ASSERT_GE(peer, 0) << cycle;
        ASSERT_TRUE(RunUntil([&] { return client.Active(); })) << cycle;
        client.SetActive(false);
        close(peer);
    }
    loop.RunOnce(0ms);
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(SocketTest, AnIdleConnectionWakesNothing) {
    Listener server;
    const int peer = Established(server);
    const auto dispatched = loop.DispatchCount();
    loop.RunOnce(300ms);
    loop.RunOnce(300ms);
    EXPECT_EQ(loop.DispatchCount(), dispatched);
    close(peer);
}

}  // namespace
}  // namespace station::net::test
