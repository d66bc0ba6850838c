#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "net/client_socket.h"
#include "net/socket_error.h"
#include "tests/support/loopback.h"
#include "base/poll_loop.h"

namespace station::net::test {

using namespace std::chrono_literals;

using Listener = station::test::LoopbackListener;
using station::test::RefusingPort;

inline void SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        ASSERT_GT(n, 0);
        sent += static_cast<std::size_t>(n);
    }
}

// Closes `fd` with a reset instead of an orderly end.
inline void Reset(int fd) {
    const linger abort{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(fd);
}

inline int OpenDescriptorCount() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir) != nullptr) {
        ++count;
    }
    closedir(dir);
    return count;
}

// A client component on a poll loop, with every event written down in order. Exceptions that
// escape a notification are kept as the application's handler would show them.
class SocketTest : public ::testing::Test {
protected:
    SocketTest() : client_(loop_, "ClientSocket1") {
        loop_.SetExceptionHandler([this](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                uncaught_.push_back(e.what());
            }
        });
        client_.OnLookup = Note("lookup");
        client_.OnConnecting = Note("connecting");
        client_.OnConnect = Note("connect");
        client_.OnDisconnect = Note("disconnect");
        client_.OnWrite = Note("write");
        client_.OnRead = [this](TClientSocket& sender, TCustomWinSocket& socket) {
            events_.push_back(sender.Active() ? "read+" : "read");
            received_ += socket.ReadPendingText();
        };
        client_.OnError = [this](TClientSocket&, TCustomWinSocket&, TErrorEvent event, int& code) {
            events_.push_back("error " + std::to_string(event) + " " + std::to_string(code));
            if (suppress_errors_) {
                code = 0;
            }
        };
    }

    // Writes the event down with "+" when Active reads true inside the handler.
    TSocketNotifyEvent Note(const std::string& name) {
        return [this, name](TClientSocket& sender, TCustomWinSocket&) {
            events_.push_back(sender.Active() ? name + "+" : name);
        };
    }

    void Connect(int port) {
        client_.SetAddress("127.0.0.1");
        client_.SetPort(port);
        client_.SetActive(true);
    }

    bool RunUntil(const std::function<bool()>& done) { return loop_.RunUntil(done, 5s); }

    // Connects to `server` and returns the accepted peer, with the events cleared.
    int Established(const Listener& server) {
        Connect(server.Port());
        const int peer = server.Accept();
        EXPECT_GE(peer, 0);
        EXPECT_TRUE(RunUntil([&] { return client_.Active(); }));
        loop_.RunOnce(0ms);  // the write-ready notice
        events_.clear();
        return peer;
    }

    PollLoop loop_;
    TClientSocket client_;
    std::vector<std::string> events_;
    std::vector<std::string> uncaught_;
    std::string received_;
    bool suppress_errors_ = true;
};

}  // namespace station::net::test
