#include "app/display_check.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/file_descriptor.h"

namespace station {
namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Connects to the X server's local socket: the abstract name first, as servers listen on both.
bool LocalServerAnswers(const std::string& number) {
    const std::string path = "/tmp/.X11-unix/X" + number;
    for (const bool abstract : {true, false}) {
        const FileDescriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::size_t at = abstract ? 1 : 0;  // an abstract name starts with a zero byte
        std::memcpy(address.sun_path + at, path.data(), path.size());
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + at + path.size());
        if (fd.IsOpen() &&
            connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), length) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool DisplayReachable() {
    if (Set("QT_QPA_PLATFORM") || Set("WAYLAND_DISPLAY")) {
        return true;
    }
    if (!Set("DISPLAY")) {
        return false;
    }
    // [host]:number[.screen]; only a local server is checked.
    const std::string display = std::getenv("DISPLAY");
    const std::size_t colon = display.rfind(':');
    const std::string host = colon == std::string::npos ? display : display.substr(0, colon);
    if (colon == std::string::npos || !(host.empty() || host == "unix")) {
        return true;
    }
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    return !number.empty() && number.size() < 8 &&
           number.find_first_not_of("0123456789") == std::string::npos &&
           LocalServerAnswers(number);
}

}  // namespace station
