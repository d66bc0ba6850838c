#include "tools/emulator/serial_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace emulator {
namespace {

[[noreturn]] void Fail(const std::string& link, const std::string& what) {
    throw std::runtime_error("cannot serve " + link + ": " + what);
}

speed_t SpeedOf(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B9600;  // the pacing is ours; the terminal's speed is only shown
    }
}

// Raw 8N1, so that the first reader sees the bytes as sent, before it sets its own mode.
void MakeRaw(const char* terminal, int baud, const std::string& link) {
    const int fd = open(terminal, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        Fail(link, std::strerror(errno));
    }
    termios mode{};
    tcgetattr(fd, &mode);
    cfmakeraw(&mode);
    cfsetspeed(&mode, SpeedOf(baud));
    tcsetattr(fd, TCSANOW, &mode);
    close(fd);  // the far end stays closed until a reader opens it
}

void PointLinkAt(const std::string& link, const char* terminal) {
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            Fail(link, "it exists and is not a symbolic link");
        }
        unlink(link.c_str());
    }
    if (symlink(terminal, link.c_str()) != 0) {
        Fail(link, std::strerror(errno));
    }
}

}  // namespace

int OpenSerialLine(const std::string& link, int baud) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        const std::string reason = std::strerror(errno);
        if (master >= 0) {
            close(master);
        }
        Fail(link, reason);
    }
    try {
        const char* terminal = ptsname(master);
        if (terminal == nullptr) {
            Fail(link, std::strerror(errno));
        }
        MakeRaw(terminal, baud, link);
        PointLinkAt(link, terminal);
    } catch (...) {
        close(master);
        throw;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    return master;
}

bool FarEndOpen(int master) {
    pollfd fd{master, 0, 0};
    return poll(&fd, 1, 0) >= 0 && (fd.revents & POLLHUP) == 0;
}

}  // namespace emulator
