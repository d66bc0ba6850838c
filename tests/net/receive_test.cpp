// Data, closing and resets on an established connection.
#include <cerrno>
#include <thread>

#include "tests/net/net_fixtures.h"

namespace station::net::test {
namespace {

using Strings = std::vector<std::string>;

TEST_F(SocketTest, DataInOnePieceIsOneRead) {
    Listener server;
    const int peer = Established(server);
    SendAll(peer, "  1234.5 kg\r\n");
    ASSERT_TRUE(RunUntil([&] { return received_.size() == 13; }));
    EXPECT_EQ(received_, "  1234.5 kg\r\n");
    EXPECT_EQ(events_, Strings{"read+"});
    close(peer);
}

TEST_F(SocketTest, DataInManyPiecesArrivesWhole) {
    Listener server;
    const int peer = Established(server);
    std::string sent;
    for (int i = 0; i < 300; ++i) {
        const std::string piece = std::to_string(i) + (i % 7 == 0 ? "\r" : "");
        SendAll(peer, piece);
        sent += piece;
        if (i % 10 == 0) {
            loop_.RunOnce(0ms);
        }
    }
    ASSERT_TRUE(RunUntil([&] { return received_.size() == sent.size(); }));
    EXPECT_EQ(received_, sent);
    close(peer);
}

TEST_F(SocketTest, SeveralMebibytesAtOnceAreDeliveredInOrder) {
    Listener server;
    const int peer = Established(server);
    std::string sent(6 << 20, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<char>(i * 7 + i / 251);
    }
    std::thread writer([&] { SendAll(peer, sent); });
    const bool all = RunUntil([&] { return received_.size() >= sent.size(); });
    if (!all) {
        shutdown(peer, SHUT_RDWR);  // lets a blocked writer go
    }
    writer.join();
    ASSERT_TRUE(all);
    EXPECT_TRUE(received_ == sent);
    close(peer);
}

TEST_F(SocketTest, PeerCloseDisconnectsAndClosesTheEndpoint) {
    Listener server;
    const int peer = Established(server);
    close(peer);
    ASSERT_TRUE(RunUntil([&] { return !events_.empty(); }));
    EXPECT_EQ(events_, Strings{"disconnect"});
    EXPECT_FALSE(client_.Active());
    EXPECT_EQ(client_.WinSocket().SocketHandle(), kInvalidSocket);
    EXPECT_EQ(loop_.ActiveWatchCount(), 0u);
}

TEST_F(SocketTest, BytesSentJustBeforeACloseAreReadBeforeTheDisconnect) {
    Listener server;
    const int peer = Established(server);
    SendAll(peer, "123\r456\r");
    close(peer);
    ASSERT_TRUE(RunUntil([&] { return !client_.Active(); }));
    EXPECT_EQ(events_, (Strings{"read+", "disconnect"}));
    EXPECT_EQ(received_, "123\r456\r");
}

TEST_F(SocketTest, ResetReportsAnErrorAndLeavesTheComponentActiveButSilent) {
    Listener server;
    const int peer = Established(server);
    Reset(peer);
    ASSERT_TRUE(RunUntil([&] { return !events_.empty(); }));
    EXPECT_EQ(events_, Strings{"error " + std::to_string(kErrDisconnect) + " " +
                               std::to_string(ECONNRESET)});
    EXPECT_TRUE(client_.Active());
    // A dead endpoint must not keep the loop busy.
    EXPECT_EQ(loop_.ActiveWatchCount(), 0u);
    const auto dispatched = loop_.DispatchCount();
    loop_.RunOnce(100ms);
    EXPECT_EQ(loop_.DispatchCount(), dispatched);

    client_.SetActive(false);
    EXPECT_EQ(events_.back(), "disconnect");
    EXPECT_FALSE(client_.Active());
}

TEST_F(SocketTest, DeactivatingWhileConnectedDisconnectsInsideTheAssignment) {
    Listener server;
    const int peer = Established(server);
    client_.SetActive(false);
    EXPECT_EQ(events_, Strings{"disconnect"});
    EXPECT_EQ(client_.WinSocket().SocketHandle(), kInvalidSocket);
    char byte;
    EXPECT_EQ(recv(peer, &byte, 1, 0), 0);  // the peer sees the end
    close(peer);
}

// A connection whose peer has reset it, the loop not yet told: the next read fails.
class FailedReadTest : public SocketTest {
protected:
    void SetUp() override {
        Reset(Established(server_));
        pollfd ready{client_.WinSocket().SocketHandle(), POLLIN, 0};
        ASSERT_EQ(poll(&ready, 1, 2000), 1);
    }

    Listener server_;
};

TEST_F(FailedReadTest, ReportsThenDisconnects) {
    char bytes[16];
    EXPECT_EQ(client_.WinSocket().ReadInto(bytes, sizeof bytes), -1);
    EXPECT_EQ(events_,
              (Strings{"error " + std::to_string(kErrReceive) + " " + std::to_string(ECONNRESET),
                       "disconnect"}));
    EXPECT_FALSE(client_.Active());
}

TEST_F(FailedReadTest, WithErrorKeptRaisesTheRecvMessage) {
    suppress_errors_ = false;
    char bytes[16];
    try {
        client_.WinSocket().ReadInto(bytes, sizeof bytes);
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(std::string(e.what()), "Windows socket error: " + SystemErrorText(ECONNRESET) +
                                             " (" + std::to_string(ECONNRESET) +
                                             "), on API 'recv'");
    }
    EXPECT_EQ(events_.back(), "disconnect");
}

TEST_F(SocketTest, ReadingWithNothingWaitingOrNotConnectedGivesEmptyText) {
    EXPECT_EQ(client_.WinSocket().ReadPendingText(), "");
    EXPECT_EQ(client_.WinSocket().ReadInto(nullptr, -1), 0);
    Listener server;
    const int peer = Established(server);
    EXPECT_EQ(client_.WinSocket().ReadPendingText(), "");
    EXPECT_TRUE(events_.empty());
    close(peer);
}

TEST_F(SocketTest, UnreadDataIsAnnouncedOnceUntilSomebodyReads) {
    Listener server;
    const int peer = Established(server);
    int reads = 0;
    client_.OnRead = [&](TClientSocket&, TCustomWinSocket&) { ++reads; };
    SendAll(peer, "1\r");
    ASSERT_TRUE(RunUntil([&] { return reads == 1; }));
    loop_.RunOnce(50ms);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(client_.WinSocket().ReadPendingText(), "1\r");
    SendAll(peer, "2\r");
    ASSERT_TRUE(RunUntil([&] { return reads == 2; }));
    close(peer);
}

}  // namespace
}  // namespace station::net::test
