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
#include "tests/support/poll_loop.h"

namespace station::net::test {

using namespace std::chrono_literals;

// A TCP server on 127.0.0.1 with a port the system chose, or `port`.
class Listener {
public:
    explicit Listener(int port = 0) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(fd_, 128), 0);
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { close(fd_); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    int Port() const { return port_; }

    // The next connection, or -1 when none comes within two seconds.
    int Accept() const {
        pollfd ready{fd_, POLLIN, 0};
        if (poll(&ready, 1, 2000) != 1) {
            return -1;
        }
        return accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A port on 127.0.0.1 where nothing listens.
inline int UnusedPort() {
    const Listener probe;
    return probe.Port();
}

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
