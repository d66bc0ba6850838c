#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

namespace station::test {

// A listening TCP socket on 127.0.0.1, at `port` or one the system chooses; `flags` go to
// socket(2). Closed when this goes. A socket that cannot listen throws: a test or benchmark
// without its peer measures nothing.
class LoopbackListener {
public:
    explicit LoopbackListener(int port = 0, int backlog = 128, int flags = 0)
        : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | flags, 0)) {
        const int yes = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        socklen_t length = sizeof address;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(fd_, backlog) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            const int error = errno;
            Close();
            throw std::system_error(error, std::generic_category(), "listening on 127.0.0.1");
        }
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackListener() { Close(); }
    LoopbackListener(LoopbackListener&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)), port_(other.port_) {}
    LoopbackListener& operator=(LoopbackListener&&) = delete;
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int Fd() const { return fd_; }
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
    void Close() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }

    int fd_;
    int port_ = 0;
};

// A port on 127.0.0.1, held while this lives, where nothing listens: connections to it are
// refused. Holding it matters: a port that was merely free when chosen can be handed to another
// test's listener, which then accepts connections meant to be refused, and a station that keeps
// retrying its refused scales would steal that test's peer.
class RefusingPort {
public:
    RefusingPort() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            const int error = errno;
            if (fd_ >= 0) {
                close(fd_);
            }
            throw std::system_error(error, std::generic_category(), "holding a port");
        }
        port_ = ntohs(address.sin_port);
    }
    ~RefusingPort() { close(fd_); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    int Port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

// A port on 127.0.0.1 where nothing listens now, as the system hands ports out, for a server
// started after this (which cannot be handed a held port).
inline int FreeLoopbackPort() {
    const LoopbackListener probe;
    return probe.Port();
}

// Whether something on 127.0.0.1 accepts a connection at `port`.
inline bool AcceptsConnections(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return accepted;
}

}  // namespace station::test
