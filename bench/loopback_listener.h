#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>

namespace bench {

// A listening TCP socket on 127.0.0.1 at a port the system chooses; `flags` go to socket(2).
// A benchmark without its scales measures nothing, so a failure ends the program.
struct Listener {
    int fd;
    int port;
};
inline Listener ListenOnLoopback(int backlog, int flags = 0) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("listening on 127.0.0.1");
        std::exit(1);
    }
    return {fd, ntohs(address.sin_port)};
}

}  // namespace bench
