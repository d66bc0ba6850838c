// The value guards and the connection type.
#include <fcntl.h>

#include "tests/net/net_fixtures.h"

namespace station::net::test {
namespace {

TEST_F(SocketTest, ValuesCanChangeUntilTheConnectionIsEstablished) {
    Listener server;
    Connect(server.Port());
    client_.SetAddress("127.0.0.2");
    client_.SetPort(1);
    client_.SetHost("localhost");
    client_.SetService("http");
    ASSERT_TRUE(RunUntil([&] { return client_.Active(); }));  // the attempt under way goes on
    EXPECT_EQ(client_.Address(), "127.0.0.2");
}

TEST_F(SocketTest, ChangingValuesWhileActiveIsRefused) {
    Listener server;
    const int peer = Established(server);
    const auto refused = [](const std::function<void()>& change) {
        try {
            change();
            return std::string("accepted");
        } catch (const ESocketError& e) {
            return std::string(e.what());
        }
    };
    const std::string message = "Can't change value while socket is active";
    EXPECT_EQ(refused([&] { client_.SetAddress("127.0.0.2"); }), message);
    EXPECT_EQ(refused([&] { client_.SetPort(server.Port() + 1); }), message);
    EXPECT_EQ(refused([&] { client_.SetHost("localhost"); }), message);
    EXPECT_EQ(refused([&] { client_.SetService("http"); }), message);
    EXPECT_EQ(refused([&] { client_.SetClientType(TClientType::kCtBlocking); }), message);
    // Same value, or a change of letter case only: nothing happens.
    EXPECT_EQ(refused([&] { client_.SetAddress("127.0.0.1"); }), "accepted");
    EXPECT_EQ(refused([&] { client_.SetPort(server.Port()); }), "accepted");
    client_.SetActive(false);
    client_.SetHost("LocalHost");
    client_.SetActive(true);
    ASSERT_TRUE(RunUntil([&] { return client_.Active(); }));
    const int again = server.Accept();
    EXPECT_EQ(refused([&] { client_.SetHost("LOCALHOST"); }), "accepted");
    EXPECT_EQ(client_.Host(), "LocalHost");
    close(peer);
    close(again);
}

TEST_F(SocketTest, BlockingTypeOnAFailedEndpointSwitchesItAtOnce) {
    const RefusingPort refusing;
    Connect(refusing.Port());
    ASSERT_TRUE(RunUntil([&] { return events_.size() == 3; }));
    const int fd = client_.WinSocket().SocketHandle();
    ASSERT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    client_.SetClientType(TClientType::kCtBlocking);
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_EQ(loop_.ActiveWatchCount(), 0u);
    client_.SetClientType(TClientType::kCtNonBlocking);
    EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
}

}  // namespace
}  // namespace station::net::test
