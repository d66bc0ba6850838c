// Opening a connection: the events inside the assignment, completion from the loop, failures.
#include <algorithm>
#include <cerrno>

#include "tests/net/net_fixtures.h"

namespace station::net::test {
namespace {

using Strings = std::vector<std::string>;

TEST_F(SocketTest, PeerAcceptsEventsInOrderAndActiveOnlyOnceConnected) {
    Listener server;
    Connect(server.Port());
    EXPECT_EQ(events, (Strings{"lookup", "connecting"}));
    EXPECT_FALSE(client.Active());
    EXPECT_FALSE(client.WinSocket().IsConnected());

    ASSERT_TRUE(RunUntil([&] { return events.size() == 4; }));
    EXPECT_EQ(events, (Strings{"lookup", "connecting", "connect+", "write+"}));
    EXPECT_TRUE(client.Active());
    EXPECT_EQ(ntohs(client.WinSocket().PeerAddress().sin_port), server.Port());
    EXPECT_TRUE(uncaught.empty());
}

TEST_F(SocketTest, RefusedGivesConnectErrorAndStaysInactive) {
    Connect(UnusedPort());
    ASSERT_TRUE(RunUntil([&] { return events.size() == 3; }));
    EXPECT_EQ(events, (Strings{"lookup", "connecting",
                               "error " + std::to_string(kErrConnect) + " " +
                                   std::to_string(ECONNREFUSED)}));
    EXPECT_FALSE(client.Active());
    EXPECT_TRUE(uncaught.empty());
    // The failed endpoint stays open but is no longer watched.
    EXPECT_NE(client.WinSocket().SocketHandle(), kInvalidSocket);
    EXPECT_EQ(loop.ActiveWatchCount(), 0u);
}

TEST_F(SocketTest, UnsuppressedErrorReachesTheApplicationHandler) {
    suppress_errors = false;
    Connect(UnusedPort());
    ASSERT_TRUE(RunUntil([&] { return !uncaught.empty(); }));
    EXPECT_EQ(uncaught, Strings{"Asynchronous socket error " + std::to_string(ECONNREFUSED)});
}

TEST_F(SocketTest, NewAttemptAfterRefusalStartsAtOnceOnAFreshEndpoint) {
    Listener server;
    Connect(UnusedPort());
    ASSERT_TRUE(RunUntil([&] { return events.size() == 3; }));
    const int descriptors = OpenDescriptorCount();
    events.clear();
    client.SetPort(server.Port());
    client.SetActive(true);
    EXPECT_EQ(events, (Strings{"lookup", "connecting"}));
    // The refused endpoint was closed before the new one was made.
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_TRUE(RunUntil([&] { return client.Active(); }));
}

TEST_F(SocketTest, ConnectFailingAtOnceClosesAndRaisesToTheCaller) {
    client.SetAddress("not an address");  // 255.255.255.255: no broadcast for TCP
    client.SetPort(2001);
    try {
        client.SetActive(true);
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Windows socket error: ", 0), 0u) << e.what();
        EXPECT_NE(std::string(e.what()).find("), on API 'connect'"), std::string::npos) << e.what();
    }
    EXPECT_EQ(events, (Strings{"lookup", "connecting", "disconnect"}));
    EXPECT_FALSE(client.Active());
    EXPECT_EQ(client.WinSocket().SocketHandle(), kInvalidSocket);
}

TEST_F(SocketTest, NoAddressRaisesAfterLookupAndDisconnect) {
    client.SetPort(2001);
    EXPECT_THROW(
        {
            try {
                client.SetActive(true);
            } catch (const ESocketError& e) {
                EXPECT_STREQ(e.what(), "No address specified");
                throw;
            }
        },
        ESocketError);
    EXPECT_EQ(events, (Strings{"lookup", "disconnect"}));
    EXPECT_EQ(client.WinSocket().SocketHandle(), kInvalidSocket);
}

TEST_F(SocketTest, PortsTheProtocolCannotCarryAreRefusedNotCut) {
    Listener server;
    for (const int port : {0, -1, 65536, 65536 + server.Port()}) {
        events.clear();
        client.SetAddress("127.0.0.1");
        client.SetPort(port);
        EXPECT_THROW(client.SetActive(true), ESocketError) << port;
        EXPECT_EQ(events, (Strings{"lookup", "disconnect"})) << port;
        EXPECT_EQ(client.WinSocket().SocketHandle(), kInvalidSocket);
    }
    loop.RunOnce(50ms);
    EXPECT_FALSE(client.Active());
}

TEST_F(SocketTest, DeactivatingWhileConnectingDoesNothingReactivatingStartsAgain) {
    Listener server;
    Connect(server.Port());
    client.SetActive(false);
    EXPECT_EQ(events, (Strings{"lookup", "connecting"}));
    client.SetActive(true);
    EXPECT_EQ(events, (Strings{"lookup", "connecting", "lookup", "connecting"}));
    ASSERT_TRUE(RunUntil([&] { return client.Active(); }));
    loop.RunOnce(50ms);
    // Only the second endpoint completes; the first was closed, so it cannot report.
    EXPECT_EQ(std::count(events.begin(), events.end(), "connect+"), 1);
}

TEST_F(SocketTest, RepeatedAttemptsNeverLeakDescriptors) {
    const int port = UnusedPort();
    client.SetAddress("127.0.0.1");
    client.SetPort(port);
    client.SetActive(true);
    const int descriptors = OpenDescriptorCount();
    for (int i = 0; i < 200; ++i) {
        client.SetActive(true);
        if (i % 2 == 0) {
            loop.RunOnce(0ms);
        }
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST_F(SocketTest, BlockingClientConnectsInsideTheAssignment) {
    Listener server;
    client.SetClientType(TClientType::kCtBlocking);
    EXPECT_EQ(client.WinSocket().NotifyMask(), 0);
    Connect(server.Port());
    EXPECT_EQ(events, (Strings{"lookup", "connecting", "connect+"}));
    EXPECT_TRUE(client.Active());
    EXPECT_EQ(loop.ActiveWatchCount(), 0u);

    const int peer = server.Accept();
    SendAll(peer, "12.5\r");
    EXPECT_EQ(client.WinSocket().ReadInto(nullptr, -1) >= 0, true);
    char bytes[8] = {};
    EXPECT_EQ(client.WinSocket().ReadInto(bytes, 5), 5);  // waits for the bytes
    EXPECT_EQ(std::string(bytes, 5), "12.5\r");
    close(peer);
}

TEST_F(SocketTest, BlockingClientRefusedRaisesAfterDisconnect) {
    client.SetClientType(TClientType::kCtBlocking);
    client.SetAddress("127.0.0.1");
    client.SetPort(UnusedPort());
    try {
        client.SetActive(true);
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(std::string(e.what()), "Windows socket error: " + SystemErrorText(ECONNREFUSED) +
                                             " (" + std::to_string(ECONNREFUSED) +
                                             "), on API 'connect'");
    }
    EXPECT_EQ(events, (Strings{"lookup", "connecting", "disconnect"}));
}

}  // namespace
}  // namespace station::net::test
