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

using station::FileDescriptor;

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
    // Closed again at once: the far end stays closed until a reader opens it.
    const FileDescriptor far_end(open(terminal, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!far_end.IsOpen()) {
        Fail(link, std::strerror(errno));
    }
    termios mode{};
    tcgetattr(far_end.Get(), &mode);
    cfmakeraw(&mode);
    cfsetspeed(&mode, SpeedOf(baud));
    tcsetattr(far_end.Get(), TCSANOW, &mode);
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

FileDescriptor OpenSerialLine(const std::string& link, int baud) {
    FileDescriptor master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.IsOpen() || grantpt(master.Get()) != 0 || unlockpt(master.Get()) != 0) {
        Fail(link, std::strerror(errno));
    }
    const char* terminal = ptsname(master.Get());
    if (terminal == nullptr) {
        Fail(link, std::strerror(errno));
    }
    MakeRaw(terminal, baud, link);
    PointLinkAt(link, terminal);
    fcntl(master.Get(), F_SETFL, fcntl(master.Get(), F_GETFL) | O_NONBLOCK);
    return master;
}

void RemoveSerialLink(const std::string& link) {
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
        unlink(link.c_str());
    }
}

bool FarEndOpen(int master) {
    pollfd fd{master, 0, 0};
    return poll(&fd, 1, 0) >= 0 && (fd.revents & POLLHUP) == 0;
}

}  // namespace emulator
