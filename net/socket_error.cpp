#include "net/socket_error.h"

#include <netdb.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace station::net {

std::string SystemErrorText(int code) {
    // The untranslated text: messages are 8-bit, whatever language the session speaks.
    const char* described = code < 0 ? gai_strerror(code) : strerrordesc_np(code);
    std::string text = described != nullptr ? described : "Unknown error " + std::to_string(code);
    constexpr std::size_t kLongest = 256;
    if (text.size() > kLongest) {
        text.resize(kLongest);
    }
    while (!text.empty()) {
        const auto last = static_cast<unsigned char>(text.back());
        if (last > ' ' && last != '.') {
            break;
        }
        text.pop_back();
    }
    return text;
}

ESocketError PlatformCallError(int code, std::string_view api) {
    return ESocketError("Windows socket error: " + SystemErrorText(code) + " (" +
                        std::to_string(code) + "), on API '" + std::string(api) + "'");
}

int CheckSocketCall(int result, std::string_view api) {
    if (result == 0) {
        return 0;
    }
    const int code = errno;
    if (code == EWOULDBLOCK || code == EAGAIN || code == EINPROGRESS) {
        return code;
    }
    throw PlatformCallError(code, api);
}

}  // namespace station::net
