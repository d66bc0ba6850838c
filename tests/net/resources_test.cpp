// Descriptors and wake-ups over many connections.
#include "tests/net/net_fixtures.h"

namespace station::net::test {
namespace {

TEST_F(SocketTest, TenThousandConnectCloseCyclesLeaveNoDescriptorBehind) {
    Listener server;
    const int before = OpenDescriptorCount();
    for (int cycle = 0; cycle < 10000; ++cycle) {
        client_.SetAddress("127.0.0.1");
        client_.SetPort(server.Port());
        client_.SetActive(true);
        const int peer = server.Accept();
        ASSERT_GE(peer, 0) << cycle;
        ASSERT_TRUE(RunUntil([&] { return client_.Active(); })) << cycle;
        client_.SetActive(false);
        close(peer);
    }
    loop_.RunOnce(0ms);
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(SocketTest, AnIdleConnectionWakesNothing) {
    Listener server;
    const int peer = Established(server);
    const auto dispatched = loop_.DispatchCount();
    loop_.RunOnce(300ms);
    loop_.RunOnce(300ms);
    EXPECT_EQ(loop_.DispatchCount(), dispatched);
    close(peer);
}

}  // namespace
}  // namespace station::net::test
