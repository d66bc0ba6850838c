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
    EXPECT_EQ(events_, (Strings{"lookup", "connecting"}));
    EXPECT_FALSE(client_.Active());
    EXPECT_FALSE(client_.WinSocket().IsConnected());

    ASSERT_TRUE(RunUntil([&] { return events_.size() == 4; }));
    EXPECT_EQ(events_, (Strings{"lookup", "connecting", "connect+", "write+"}));
    EXPECT_TRUE(client_.Active());
    EXPECT_EQ(ntohs(client_.WinSocket().PeerAddress().sin_port), server.Port());
    EXPECT_TRUE(uncaught_.empty());
}

TEST_F(SocketTest, RefusedGivesConnectErrorAndStaysInactive) {
    const RefusingPort refusing;
    Connect(refusing.Port());
    ASSERT_TRUE(RunUntil([&] { return events_.size() == 3; }));
    EXPECT_EQ(events_, (Strings{"lookup", "connecting",
                                "error " + std::to_string(kErrConnect) + " " +
                                    std::to_string(ECONNREFUSED)}));
    EXPECT_FALSE(client_.Active());
    EXPECT_TRUE(uncaught_.empty());
    // The failed endpoint stays open but is no longer watched.
    EXPECT_NE(client_.WinSocket().SocketHandle(), kInvalidSocket);
    EXPECT_EQ(loop_.ActiveWatchCount(), 0u);
}

TEST_F(SocketTest, UnsuppressedErrorReachesTheApplicationHandler) {
    suppress_errors_ = false;
    const RefusingPort refusing;
    Connect(refusing.Port());
    ASSERT_TRUE(RunUntil([&] { return !uncaught_.empty(); }));
    EXPECT_EQ(uncaught_, Strings{"Asynchronous socket error " + std::to_string(ECONNREFUSED)});
}

TEST_F(SocketTest, NewAttemptAfterRefusalStartsAtOnceOnAFreshEndpoint) {
    Listener server;
    const RefusingPort refusing;
    Connect(refusing.Port());
    ASSERT_TRUE(RunUntil([&] { return events_.size() == 3; }));
    const int descriptors = OpenDescriptorCount();
    events_.clear();
    client_.SetPort(server.Port());
    client_.SetActive(true);
    EXPECT_EQ(events_, (Strings{"lookup", "connecting"}));
    // The refused endpoint was closed before the new one was made.
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_TRUE(RunUntil([&] { return client_.Active(); }));
}

TEST_F(SocketTest, ConnectFailingAtOnceClosesAndRaisesToTheCaller) {
    client_.SetAddress("not an address");  // 255.255.255.255: no broadcast for TCP
    client_.SetPort(2001);
    try {
        client_.SetActive(true);
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Windows socket error: ", 0), 0u) << e.what();
        EXPECT_NE(std::string(e.what()).find("), on API 'connect'"), std::string::npos) << e.what();
    }
    EXPECT_EQ(events_, (Strings{"lookup", "connecting", "disconnect"}));
    EXPECT_FALSE(client_.Active());
    EXPECT_EQ(client_.WinSocket().SocketHandle(), kInvalidSocket);
}

TEST_F(SocketTest, NoAddressRaisesAfterLookupAndDisconnect) {
    client_.SetPort(2001);
    EXPECT_THROW(
        {
            try {
                client_.SetActive(true);
            } catch (const ESocketError& e) {
                EXPECT_STREQ(e.what(), "No address specified");
                throw;
            }
        },
        ESocketError);
    EXPECT_EQ(events_, (Strings{"lookup", "disconnect"}));
    EXPECT_EQ(client_.WinSocket().SocketHandle(), kInvalidSocket);
}

TEST_F(SocketTest, PortsTheProtocolCannotCarryAreRefusedNotCut) {
    Listener server;
    for (const int port : {0, -1, 65536, 65536 + server.Port()}) {
        events_.clear();
        client_.SetAddress("127.0.0.1");
        client_.SetPort(port);
        EXPECT_THROW(client_.SetActive(true), ESocketError) << port;
        EXPECT_EQ(events_, (Strings{"lookup", "disconnect"})) << port;
        EXPECT_EQ(client_.WinSocket().SocketHandle(), kInvalidSocket);
    }
    loop_.RunOnce(50ms);
    EXPECT_FALSE(client_.Active());
}

TEST_F(SocketTest, DeactivatingWhileConnectingDoesNothingReactivatingStartsAgain) {
    Listener server;
    Connect(server.Port());
    client_.SetActive(false);
    EXPECT_EQ(events_, (Strings{"lookup", "connecting"}));
    client_.SetActive(true);
    EXPECT_EQ(events_, (Strings{"lookup", "connecting", "lookup", "connecting"}));
    ASSERT_TRUE(RunUntil([&] { return client_.Active(); }));
    loop_.RunOnce(50ms);
    // Only the second endpoint completes; the first was closed, so it cannot report.
    EXPECT_EQ(std::count(events_.begin(), events_.end(), "connect+"), 1);
}

TEST_F(SocketTest, RepeatedAttemptsNeverLeakDescriptors) {
    const RefusingPort refusing;
    const int port = refusing.Port();
    client_.SetAddress("127.0.0.1");
    client_.SetPort(port);
    client_.SetActive(true);
    const int descriptors = OpenDescriptorCount();
    for (int i = 0; i < 200; ++i) {
        client_.SetActive(true);
        if (i % 2 == 0) {
            loop_.RunOnce(0ms);
        }
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST_F(SocketTest, BlockingClientConnectsInsideTheAssignment) {
    Listener server;
    client_.SetClientType(TClientType::kCtBlocking);
    Connect(server.Port());
    EXPECT_EQ(events_, (Strings{"lookup", "connecting", "connect+"}));
    EXPECT_TRUE(client_.Active());
    EXPECT_EQ(loop_.ActiveWatchCount(), 0u);

    const int peer = server.Accept();
    SendAll(peer, "12.5\r");
    EXPECT_EQ(client_.WinSocket().ReadInto(nullptr, -1) >= 0, true);
    char bytes[8] = {};
    EXPECT_EQ(client_.WinSocket().ReadInto(bytes, 5), 5);  // waits for the bytes
    EXPECT_EQ(std::string(bytes, 5), "12.5\r");
    close(peer);
}

TEST_F(SocketTest, BlockingClientRefusedRaisesAfterDisconnect) {
    client_.SetClientType(TClientType::kCtBlocking);
    client_.SetAddress("127.0.0.1");
    const RefusingPort refusing;
    client_.SetPort(refusing.Port());
    try {
        client_.SetActive(true);
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(std::string(e.what()), "Windows socket error: " + SystemErrorText(ECONNREFUSED) +
                                             " (" + std::to_string(ECONNREFUSED) +
                                             "), on API 'connect'");
    }
    EXPECT_EQ(events_, (Strings{"lookup", "connecting", "disconnect"}));
}

}  // namespace
}  // namespace station::net::test
