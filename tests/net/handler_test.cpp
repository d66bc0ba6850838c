// Handlers that act on their own component, throw, or outlive an endpoint.
#include "tests/net/net_fixtures.h"

namespace station::net::test {
namespace {

using Strings = std::vector<std::string>;

TEST_F(SocketTest, DeactivatingInsideOnConnectDisconnectsNested) {
    Listener server;
    client_.OnConnect = [&](TClientSocket& sender, TCustomWinSocket&) {
        events_.push_back("connect in");
        sender.SetActive(false);
        events_.push_back("connect out");
    };
    Connect(server.Port());
    ASSERT_TRUE(RunUntil([&] { return events_.size() >= 5; }));
    loop_.RunOnce(50ms);
    // The write-ready notice of the closed endpoint is stale and raises nothing.
    EXPECT_EQ(events_,
              (Strings{"lookup", "connecting", "connect in", "disconnect", "connect out"}));
    EXPECT_FALSE(client_.Active());
    EXPECT_EQ(client_.WinSocket().SocketHandle(), kInvalidSocket);
}

TEST_F(SocketTest, ExceptionInOnReadReachesTheHandlerAndReadingGoesOn) {
    Listener server;
    const int peer = Established(server);
    client_.OnRead = [&](TClientSocket&, TCustomWinSocket& socket) {
        const std::string text = socket.ReadPendingText();
        received_ += text;
        if (text == "bad\r") {
            throw std::runtime_error("handler failed");
        }
    };
    SendAll(peer, "bad\r");
    ASSERT_TRUE(RunUntil([&] { return !uncaught_.empty(); }));
    SendAll(peer, "good\r");
    ASSERT_TRUE(RunUntil([&] { return received_ == "bad\rgood\r"; }));
    EXPECT_EQ(uncaught_, Strings{"handler failed"});
    close(peer);
}

TEST_F(SocketTest, DestroyingAConnectedComponentClosesWithoutDisconnect) {
    Listener server;
    int peer = -1;
    {
        TClientSocket other(loop_, "ClientSocket2");
        bool disconnected = false;
        other.OnDisconnect = [&](TClientSocket&, TCustomWinSocket&) { disconnected = true; };
        other.SetAddress("127.0.0.1");
        other.SetPort(server.Port());
        other.SetActive(true);
        peer = server.Accept();
        ASSERT_TRUE(RunUntil([&] { return other.Active(); }));
        EXPECT_FALSE(disconnected);
    }
    char byte;
    EXPECT_EQ(recv(peer, &byte, 1, 0), 0);
    loop_.RunOnce(20ms);  // the posted write notice must find the component gone
    close(peer);
}

TEST_F(SocketTest, ReconnectingFromOnDisconnectOfAPeerClose) {
    Listener server;
    const int first = Established(server);
    client_.OnDisconnect = [&](TClientSocket& sender, TCustomWinSocket&) {
        events_.push_back("disconnect");
        sender.SetActive(true);  // still connected while the handler runs: ignored
    };
    close(first);
    ASSERT_TRUE(RunUntil([&] { return !events_.empty(); }));
    EXPECT_EQ(events_, Strings{"disconnect"});
    EXPECT_EQ(client_.WinSocket().SocketHandle(), kInvalidSocket);
}

}  // namespace
}  // namespace station::net::test
