// Host and service names, resolved off the loop's thread.
#include "tests/net/net_fixtures.h"

namespace station::net::test {
namespace {

using Strings = std::vector<std::string>;

TEST_F(SocketTest, HostNameWinsOverAddressAndResolvesAsynchronously) {
    Listener server;
    client.SetHost("localhost");
    client.SetAddress("not an address");
    client.SetPort(server.Port());
    client.SetActive(true);
    EXPECT_EQ(events, Strings{"lookup"});
    EXPECT_TRUE(client.WinSocket().LookupPending());
    ASSERT_TRUE(RunUntil([&] { return client.Active(); }));
    EXPECT_EQ(events, (Strings{"lookup", "connecting", "connect+"}));
    EXPECT_EQ(client.WinSocket().PeerAddress().sin_addr.s_addr, htonl(INADDR_LOOPBACK));
}

TEST_F(SocketTest, ServiceNameWinsOverPort) {
    client.SetAddress("127.0.0.1");
    client.SetPort(1);
    client.SetService("no-such-service-here");
    client.SetActive(true);
    ASSERT_TRUE(RunUntil([&] { return !uncaught.empty(); }));
    // A failed lookup never goes through OnError.
    EXPECT_EQ(events, (Strings{"lookup", "disconnect"}));
    ASSERT_EQ(uncaught.size(), 1u);
    EXPECT_EQ(uncaught[0].rfind("Windows socket error: ", 0), 0u) << uncaught[0];
    EXPECT_NE(uncaught[0].find("on API 'ASync Lookup'"), std::string::npos) << uncaught[0];
    EXPECT_FALSE(client.WinSocket().LookupPending());
}

TEST_F(SocketTest, KnownServiceGivesItsPort) {
    client.SetAddress("127.0.0.1");
    client.SetService("ssh");
    client.SetActive(true);
    ASSERT_TRUE(RunUntil([&] { return events.size() >= 3; }));
    EXPECT_EQ(events[1], "connecting");
    EXPECT_EQ(ntohs(client.WinSocket().PeerAddress().sin_port), 22);
}

TEST_F(SocketTest, AnAbandonedLookupIsIgnoredWhenItCompletes) {
    Listener server;
    client.SetHost("localhost");
    client.SetPort(server.Port());
    client.SetActive(true);
    client.SetActive(true);  // a new attempt while the first lookup is pending
    ASSERT_TRUE(RunUntil([&] { return client.Active(); }));
    loop.RunOnce(100ms);
    EXPECT_EQ(events, (Strings{"lookup", "lookup", "connecting", "connect+", "write+"}));
}

TEST_F(SocketTest, BlockingLookupOfAnUnknownServiceConnectsToPortZero) {
    client.SetClientType(TClientType::kCtBlocking);
    client.SetAddress("127.0.0.1");
    client.SetService("no-such-service-here");
    EXPECT_THROW(client.SetActive(true), ESocketError);
    EXPECT_EQ(events, (Strings{"lookup", "connecting", "disconnect"}));
}

}  // namespace
}  // namespace station::net::test
