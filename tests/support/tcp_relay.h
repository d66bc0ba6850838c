#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/loopback.h"

namespace station::test {

// A link on 127.0.0.1 from a port of its own to `target_port`, as between two buildings, that a
// test cuts (every connection closed at once, each new one closed as it comes) and heals. Its
// thread relays the bytes, both peers being servers that always read.
class TcpRelay {
public:
    explicit TcpRelay(int target_port) : target_port_(target_port) {
        if (pipe2(wake_.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
            throw std::system_error(errno, std::generic_category(), "a relay's pipe");
        }
        thread_ = std::thread([this] { Run(); });
    }
    ~TcpRelay() {
        ending_ = true;
        Wake();
        thread_.join();
        close(wake_[0]);
        close(wake_[1]);
    }
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    int Port() const { return listener_.Port(); }
    void Cut() {
        cut_ = true;
        Wake();
    }
    void Heal() { cut_ = false; }

private:
    void Wake() { [[maybe_unused]] const auto written = write(wake_[1], "x", 1); }

    int ConnectTarget() const {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(target_port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }

    // False when the peer has gone or the bytes could not all be passed on.
    static bool Pass(int from, int to) {
        std::array<char, 65536> bytes{};
        const ssize_t got = read(from, bytes.data(), bytes.size());
        for (ssize_t sent = 0; got > 0 && sent < got;) {
            const ssize_t put =
                write(to, bytes.data() + sent, static_cast<std::size_t>(got - sent));
            if (put <= 0) {
                return false;
            }
            sent += put;
        }
        return got > 0;
    }

    void Run() {
        std::vector<std::pair<int, int>> links;  // accepted, to the target
        const auto end_all = [&] {
            for (const auto& [a, b] : links) {
                close(a);
                close(b);
            }
            links.clear();
        };
        while (!ending_) {
            if (cut_) {
                end_all();
            }
            std::vector<pollfd> fds{{listener_.Fd(), POLLIN, 0}, {wake_[0], POLLIN, 0}};
            for (const auto& [a, b] : links) {
                fds.push_back({a, POLLIN, 0});
                fds.push_back({b, POLLIN, 0});
            }
            if (poll(fds.data(), fds.size(), 1000) <= 0) {
                continue;
            }
            std::array<char, 64> drained{};
            while (read(wake_[0], drained.data(), drained.size()) > 0) {
            }
            std::vector<std::pair<int, int>> kept;
            for (std::size_t i = 0; i < links.size(); ++i) {
                const auto [a, b] = links[i];
                const bool a_ready = fds[2 + 2 * i].revents != 0;
                const bool b_ready = fds[3 + 2 * i].revents != 0;
                if ((a_ready && !Pass(a, b)) || (b_ready && !Pass(b, a))) {
                    close(a);
                    close(b);
                } else {
                    kept.push_back(links[i]);
                }
            }
            links = std::move(kept);
            if (fds[0].revents != 0) {
                const int accepted = accept4(listener_.Fd(), nullptr, nullptr, SOCK_CLOEXEC);
                const int target = accepted >= 0 && !cut_ ? ConnectTarget() : -1;
                if (target >= 0) {
                    links.emplace_back(accepted, target);
                } else if (accepted >= 0) {
                    close(accepted);
                }
            }
        }
        end_all();
    }

    const int target_port_;
    LoopbackListener listener_;
    std::array<int, 2> wake_{-1, -1};
    std::atomic<bool> cut_ = false;
    std::atomic<bool> ending_ = false;
    std::thread thread_;
};

}  // namespace station::test
