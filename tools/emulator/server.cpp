#include "tools/emulator/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace emulator {
namespace {

// A flooding client gets lines queued up to this many bytes per turn.
constexpr std::size_t kFloodBatch = 64 * 1024;

int ListenOn(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 16) != 0) {
        const std::string reason = std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                                 reason);
    }
    return fd;
}

int PortOf(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

}  // namespace

Server::Server(const Options& options) : options_(options) {}

Server::~Server() {
    for (const int fd : listeners_) {
        if (fd >= 0) {
            close(fd);
        }
    }
    for (const auto& client : clients_) {
        close(client->fd);
    }
}

void Server::Listen() {
    for (int scale = 0; scale < options_.scales; ++scale) {
        const ScaleOptions& options = OptionsOf(scale);
        listeners_.push_back(options.faults.refuse ? -1 : ListenOn(options.port));
    }
}

std::vector<int> Server::Ports() const {
    std::vector<int> ports;
    for (const int fd : listeners_) {
        ports.push_back(fd < 0 ? 0 : PortOf(fd));
    }
    return ports;
}

void Server::Accept(int scale) {
    const int fd = accept4(listeners_[static_cast<std::size_t>(scale)], nullptr, nullptr,
                           SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        return;
    }
    const ScaleOptions& options = OptionsOf(scale);
    if (options.faults.byte_writes) {
        const int yes = 1;  // each byte its own segment
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    }
    clients_.push_back(std::unique_ptr<Client>(new Client{
        fd, scale, LineSource(options, options_.seed + accepted_++), {}, 0, Clock::now()}));
}

bool Server::Produce(Client& client, Clock::time_point now) {
    const ScaleOptions& options = OptionsOf(client.scale);
    const Faults& faults = options.faults;
    while (!client.close_when_sent &&
           (options.flood ? client.pending.size() < kFloodBatch
                          : client.pending.empty() && now >= client.due)) {
        if (faults.reset_after >= 0 && client.lines >= faults.reset_after) {
            return false;
        }
        std::string line = client.source.Next();
        if (faults.close_mid_line >= 0 && client.lines >= faults.close_mid_line) {
            line.resize(line.size() / 2);
            client.close_when_sent = true;
        }
        client.pending += line;
        ++client.lines;
        if (!options.flood) {
            client.due += std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(1.0 / options.rate));
            if (client.due < now) {
                client.due = now;  // a slow reader does not earn a burst later
            }
        }
    }
    return true;
}

bool Server::Flush(Client& client) {
    const bool bytewise = OptionsOf(client.scale).faults.byte_writes;
    while (!client.pending.empty()) {
        const std::size_t size = bytewise ? 1 : client.pending.size();
        const ssize_t sent = send(client.fd, client.pending.data(), size, MSG_NOSIGNAL);
        if (sent < 0) {
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        }
        client.pending.erase(0, static_cast<std::size_t>(sent));
    }
    return !client.close_when_sent;
}

void Server::Drop(std::size_t index, bool reset) {
    const int fd = clients_[index]->fd;
    if (reset) {
        const linger abort{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    close(fd);
    clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(index));
}

void Server::Run(const std::atomic<bool>& stop) {
    while (!stop.load()) {
        const auto now = Clock::now();
        for (std::size_t i = clients_.size(); i-- > 0;) {
            Client& client = *clients_[i];
            if (!Produce(client, now)) {
                Drop(i, true);
            } else if (!Flush(client)) {
                Drop(i, false);
            }
        }

        std::vector<pollfd> fds;
        for (const int fd : listeners_) {
            fds.push_back({fd, POLLIN, 0});  // a negative fd is skipped by poll
        }
        auto wait = std::chrono::milliseconds(100);
        for (const auto& client : clients_) {
            const bool flood = OptionsOf(client->scale).flood;
            const bool blocked = !client->pending.empty();
            fds.push_back(
                {client->fd, static_cast<short>(POLLIN | (blocked || flood ? POLLOUT : 0)), 0});
            if (!blocked && !flood) {
                wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(
                                          std::max(client->due - now, Clock::duration::zero())));
            }
        }
        if (poll(fds.data(), fds.size(), static_cast<int>(wait.count())) < 0) {
            continue;  // a signal: look at `stop`
        }
        const std::size_t first_client = listeners_.size();
        // Clients that hung up, or sent something: the scale only talks, so input is dropped.
        for (std::size_t i = clients_.size(); i-- > 0;) {
            if ((fds[first_client + i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            char discard[512];
            const ssize_t got = recv(clients_[i]->fd, discard, sizeof discard, MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                Drop(i, false);
            }
        }
        for (std::size_t scale = 0; scale < listeners_.size(); ++scale) {
            if ((fds[scale].revents & POLLIN) != 0) {
                Accept(static_cast<int>(scale));
            }
        }
    }
}

}  // namespace emulator
