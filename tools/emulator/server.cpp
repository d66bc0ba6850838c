#include "tools/emulator/server.h"

#include "tools/emulator/serial_line.h"

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

using station::FileDescriptor;

namespace {

// A flooding client gets lines queued up to this many bytes per turn; a serial line only a few,
// so that what it carries stays fresh at its slow speed.
constexpr std::size_t kFloodBatch = std::size_t{64} * 1024;
constexpr std::size_t kSerialBatch = 64;
// A serial line is written in slices of about this much time, and an idle line earns no more.
constexpr auto kSerialSlice = std::chrono::milliseconds(10);
// How long poll may sleep when nothing is due sooner.
constexpr auto kLongestWait = std::chrono::milliseconds(100);

// 8N1: a start bit, eight data bits and a stop bit.
std::chrono::nanoseconds ByteTime(int baud) {
    return std::chrono::nanoseconds(10'000'000'000LL / baud);
}

FileDescriptor ListenOn(int port) {
    FileDescriptor listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const int fd = listener.Get();
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 16) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                                 std::strerror(errno));
    }
    return listener;
}

int PortOf(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

}  // namespace

Server::Server(const Options& options) : options_(options) {}

void Server::Listen() {
    for (int scale = 0; scale < options_.scales; ++scale) {
        const ScaleOptions& options = OptionsOf(scale);
        const bool serial = !options.serial_link.empty();
        listeners_.push_back(options.faults.refuse || serial ? FileDescriptor()
                                                             : ListenOn(options.port));
        if (serial && !options.faults.refuse) {
            clients_.push_back(std::unique_ptr<Client>(
                new Client{OpenSerialLine(options.serial_link, options.baud),
                           scale,
                           LineSource(options, options_.seed + accepted_++),
                           {},
                           0,
                           Clock::now()}));
            clients_.back()->serial = true;
            links_.push_back(options.serial_link);  // made once the line was opened
        }
    }
}

Server::~Server() {
    for (const std::string& link : links_) {
        RemoveSerialLink(link);
    }
}

std::vector<int> Server::Ports() const {
    std::vector<int> ports;
    for (const FileDescriptor& listener : listeners_) {
        ports.push_back(listener.IsOpen() ? PortOf(listener.Get()) : 0);
    }
    return ports;
}

void Server::Accept(int scale) {
    const int fd = accept4(listeners_[static_cast<std::size_t>(scale)].Get(), nullptr, nullptr,
                           SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        return;
    }
    const ScaleOptions& options = OptionsOf(scale);
    if (options.faults.byte_writes) {
        const int yes = 1;  // each byte its own segment
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    }
    clients_.push_back(
        std::unique_ptr<Client>(new Client{FileDescriptor(fd),
                                           scale,
                                           LineSource(options, options_.seed + accepted_++),
                                           {},
                                           0,
                                           Clock::now()}));
}

bool Server::Produce(Client& client, Clock::time_point now) {
    const ScaleOptions& options = OptionsOf(client.scale);
    const Faults& faults = options.faults;
    const std::size_t batch = client.serial ? kSerialBatch : kFloodBatch;
    while (!client.close_when_sent && !Stalled(client) &&
           (options.flood       ? client.pending.size() < batch
            : options.on_demand ? client.requested > 0
                                : client.pending.empty() && now >= client.due)) {
        client.requested -= options.on_demand ? 1 : 0;
        if (faults.reset_after >= 0 && client.lines >= faults.reset_after) {
            return false;
        }
        std::string line = client.source.Next();
        if (faults.close_mid_line >= 0 && client.lines >= faults.close_mid_line) {
            line.resize(line.size() / 2);
            client.close_when_sent = true;
            // A serial line is cut once it could have carried the half line.
            client.cut_at = now + static_cast<std::int64_t>(line.size()) * ByteTime(options.baud);
        } else if (faults.stall_mid_line >= 0 && client.lines >= faults.stall_mid_line) {
            line.resize(line.size() / 2);
            client.stalled_mid_line = true;
        }
        client.pending += line;
        // A fault counts the lines someone could read: a serial line nobody has open loses them.
        if (!client.serial || client.far_end_open) {
            ++client.lines;
        }
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
        const ssize_t sent = send(client.fd.Get(), client.pending.data(), size, MSG_NOSIGNAL);
        if (sent < 0) {
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        }
        client.pending.erase(0, static_cast<std::size_t>(sent));
    }
    return !client.close_when_sent;
}

void Server::FlushSerial(Client& client, Clock::time_point now) {
    client.far_end_open = FarEndOpen(client.fd.Get());
    if (!client.far_end_open) {
        client.pending.clear();  // nobody on the line: its bytes are lost
        return;
    }
    const auto byte_time = ByteTime(OptionsOf(client.scale).baud);
    const bool bytewise = OptionsOf(client.scale).faults.byte_writes;
    client.line_free_at = std::max(client.line_free_at, now - kSerialSlice);
    while (!client.pending.empty() && client.line_free_at <= now) {
        // The bytes whose turn on the line has come.
        const auto due = static_cast<std::size_t>(1 + (now - client.line_free_at) / byte_time);
        const std::size_t size = bytewise ? 1 : std::min(client.pending.size(), due);
        const ssize_t written = write(client.fd.Get(), client.pending.data(), size);
        if (written <= 0) {
            return;  // the terminal's buffer is full: the reader is slow
        }
        client.pending.erase(0, static_cast<std::size_t>(written));
        client.line_free_at += written * byte_time;
    }
}

bool Server::Stalled(const Client& client) const {
    const std::int64_t stall_after = OptionsOf(client.scale).faults.stall_after;
    return client.stalled_mid_line || (stall_after >= 0 && client.lines >= stall_after);
}

Server::Clock::duration Server::Idle(const Client& client, Clock::time_point now) const {
    const bool flood = OptionsOf(client.scale).flood && !Stalled(client);
    if (client.serial && client.close_when_sent && client.pending.empty()) {
        return std::max<Clock::duration>(client.cut_at - now, Clock::duration::zero());
    }
    if (client.serial && (flood || !client.pending.empty())) {
        return std::max<Clock::duration>(client.line_free_at - now, kSerialSlice);
    }
    if (flood || !client.pending.empty() || Stalled(client) || OptionsOf(client.scale).on_demand) {
        return kLongestWait;  // poll wakes when the socket takes more, or a request comes
    }
    return std::max(client.due - now, Clock::duration::zero());
}

void Server::Drop(std::size_t index, bool reset) {
    if (reset && !clients_[index]->serial) {
        const linger abort{1, 0};
        setsockopt(clients_[index]->fd.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(index));
}

void Server::Run(const std::atomic<bool>& stop) {
    while (!stop.load()) {
        const auto now = Clock::now();
        for (std::size_t i = clients_.size(); i-- > 0;) {
            Client& client = *clients_[i];
            if (!Produce(client, now)) {
                Drop(i, true);
            } else if (client.serial) {
                FlushSerial(client, now);
                if (client.close_when_sent && client.pending.empty() && now >= client.cut_at) {
                    Drop(i, false);
                }
            } else if (!Flush(client)) {
                Drop(i, false);
            }
        }

        std::vector<pollfd> fds;
        for (const FileDescriptor& listener : listeners_) {
            fds.push_back({listener.Get(), POLLIN, 0});  // a negative fd is skipped by poll
        }
        auto wait = kLongestWait;
        for (const auto& client : clients_) {
            const bool flood = OptionsOf(client->scale).flood && !Stalled(*client);
            const bool blocked = !client->pending.empty();
            if (client->serial) {
                // A closed far end reports a hang-up all the time: left out of poll until open.
                fds.push_back({client->far_end_open ? client->fd.Get() : -1, POLLIN, 0});
            } else {
                fds.push_back({client->fd.Get(),
                               static_cast<short>(POLLIN | (blocked || flood ? POLLOUT : 0)), 0});
            }
            wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(Idle(*client, now)));
        }
        if (poll(fds.data(), fds.size(), static_cast<int>(wait.count())) < 0) {
            continue;  // a signal: look at `stop`
        }
        const std::size_t first_client = listeners_.size();
        // Clients that hung up, or sent something: a request on demand, else dropped.
        for (std::size_t i = clients_.size(); i-- > 0;) {
            if ((fds[first_client + i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            char discard[512];
            if (clients_[i]->serial) {
                // A hang-up is the far end closing the line, not the scale leaving.
                const ssize_t got = read(clients_[i]->fd.Get(), discard, sizeof discard);
                clients_[i]->far_end_open = got >= 0 || errno == EAGAIN || errno == EINTR;
                clients_[i]->requested += got > 0 ? 1 : 0;
                continue;
            }
            const ssize_t got = recv(clients_[i]->fd.Get(), discard, sizeof discard, MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                Drop(i, false);
            } else if (got > 0) {
                ++clients_[i]->requested;
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
