// Host and service names, resolved off the loop's thread.
#include "tests/net/net_fixtures.h"

namespace station::net::test {
namespace {

using Strings = std::vector<std::string>;

TEST_F(SocketTest, HostNameWinsOverAddressAndResolvesAsynchronously) {
    Listener server;
    client_.SetHost("localhost");
    client_.SetAddress("not an address");
    client_.SetPort(server.Port());
    client_.SetActive(true);
    EXPECT_EQ(events_, Strings{"lookup"});
    EXPECT_EQ(loop_.ActiveWatchCount(), 1u);  // the lookup's completion, nothing else
    ASSERT_TRUE(RunUntil([&] { return client_.Active(); }));
    EXPECT_EQ(events_, (Strings{"lookup", "connecting", "connect+"}));
    EXPECT_EQ(client_.WinSocket().PeerAddress().sin_addr.s_addr, htonl(INADDR_LOOPBACK));
}

TEST_F(SocketTest, ServiceNameWinsOverPort) {
    client_.SetAddress("127.0.0.1");
    client_.SetPort(1);
    client_.SetService("no-such-service-here");
    client_.SetActive(true);
    ASSERT_TRUE(RunUntil([&] { return !uncaught_.empty(); }));
    // A failed lookup never goes through OnError.
    EXPECT_EQ(events_, (Strings{"lookup", "disconnect"}));
    ASSERT_EQ(uncaught_.size(), 1u);
    EXPECT_EQ(uncaught_[0].rfind("Windows socket error: ", 0), 0u) << uncaught_[0];
    EXPECT_NE(uncaught_[0].find("on API 'ASync Lookup'"), std::string::npos) << uncaught_[0];
    EXPECT_EQ(loop_.ActiveWatchCount(), 0u);
}

TEST_F(SocketTest, KnownServiceGivesItsPort) {
    client_.SetAddress("127.0.0.1");
    client_.SetService("ssh");
    client_.SetActive(true);
    ASSERT_TRUE(RunUntil([&] { return events_.size() >= 3; }));
    EXPECT_EQ(events_[1], "connecting");
    EXPECT_EQ(ntohs(client_.WinSocket().PeerAddress().sin_port), 22);
}

TEST_F(SocketTest, AnAbandonedLookupIsIgnoredWhenItCompletes) {
    Listener server;
    client_.SetHost("localhost");
    client_.SetPort(server.Port());
    client_.SetActive(true);
    client_.SetActive(true);  // a new attempt while the first lookup is pending
    ASSERT_TRUE(RunUntil([&] { return client_.Active(); }));
    loop_.RunOnce(100ms);
    EXPECT_EQ(events_, (Strings{"lookup", "lookup", "connecting", "connect+", "write+"}));
}

TEST_F(SocketTest, BlockingLookupOfAnUnknownServiceConnectsToPortZero) {
    client_.SetClientType(TClientType::kCtBlocking);
    client_.SetAddress("127.0.0.1");
    client_.SetService("no-such-service-here");
    EXPECT_THROW(client_.SetActive(true), ESocketError);
    EXPECT_EQ(events_, (Strings{"lookup", "connecting", "disconnect"}));
}

}  // namespace
}  // namespace station::net::test
