// The socket component driven by Qt's event loop, as the program runs it.
#include "ui/qt_event_loop.h"

#include "net/client_socket.h"
#include "tests/net/net_fixtures.h"
#include "tests/qt_wait.h"

namespace station::ui {
namespace {

using net::test::Listener;
using net::test::SendAll;
using test::RunQtUntil;

struct QtSocketTest : ::testing::Test {
    QtSocketTest()
        : loop([this](std::exception_ptr error) {
              try {
                  std::rethrow_exception(error);
              } catch (const std::exception& e) {
                  uncaught.push_back(e.what());
              }
          }),
          client(loop, "ClientSocket1") {
        client.OnConnect = [this](net::TClientSocket&, net::TCustomWinSocket&) {
            events.push_back("connect");
        };
        client.OnWrite = [this](net::TClientSocket&, net::TCustomWinSocket&) {
            events.push_back("write");
        };
        client.OnDisconnect = [this](net::TClientSocket&, net::TCustomWinSocket&) {
            events.push_back("disconnect");
        };
        client.OnRead = [this](net::TClientSocket&, net::TCustomWinSocket& socket) {
            received += socket.ReadPendingText();
            if (received.find("throw") != std::string::npos) {
                received.clear();
                throw std::runtime_error("Disk full");
            }
        };
        client.SetAddress("127.0.0.1");
    }

    std::vector<std::string> uncaught;
    std::vector<std::string> events;
    std::string received;
    QtEventLoop loop;
    net::TClientSocket client;
};

TEST_F(QtSocketTest, ConnectsReadsAndSeesThePeerClose) {
    Listener server;
    client.SetPort(server.Port());
    client.SetActive(true);
    const int peer = server.Accept();
    ASSERT_TRUE(RunQtUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events, (std::vector<std::string>{"connect", "write"}));

    SendAll(peer, "12.5\r");
    ASSERT_TRUE(RunQtUntil([&] { return received == "12.5\r"; }));
    SendAll(peer, "13\r");
    close(peer);
    ASSERT_TRUE(RunQtUntil([&] { return !client.Active(); }));
    EXPECT_EQ(received, "12.5\r13\r");
    EXPECT_EQ(events.back(), "disconnect");
}

TEST_F(QtSocketTest, ExceptionsFromHandlersGoToTheLoopsHandlerAndReadingGoesOn) {
    Listener server;
    client.SetPort(server.Port());
    client.SetActive(true);
    const int peer = server.Accept();
    ASSERT_TRUE(RunQtUntil([&] { return client.Active(); }));
    SendAll(peer, "throw\r");
    ASSERT_TRUE(RunQtUntil([&] { return !uncaught.empty(); }));
    SendAll(peer, "7\r");
    ASSERT_TRUE(RunQtUntil([&] { return received == "7\r"; }));
    EXPECT_EQ(uncaught, std::vector<std::string>{"Disk full"});
    close(peer);
}

TEST_F(QtSocketTest, RefusedAttemptThenReconnect) {
    client.OnError = [this](net::TClientSocket&, net::TCustomWinSocket&, net::TErrorEvent,
                            int& code) {
        events.push_back("error");
        code = 0;
    };
    const station::test::RefusingPort refusing;
    client.SetPort(refusing.Port());
    client.SetActive(true);
    ASSERT_TRUE(RunQtUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<std::string>{"error"});
    Listener server;
    client.SetPort(server.Port());
    client.SetActive(true);
    ASSERT_TRUE(RunQtUntil([&] { return client.Active(); }));
    EXPECT_TRUE(uncaught.empty());
}

}  // namespace
}  // namespace station::ui
