#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace station::protocol {

// A station's status, retained on its "status" topic: "online" once it holds its session, and
// "offline", its will, once the session ends or is lost.
inline std::string WriteStatus(bool online) {
    return online ? "online" : "offline";
}

// Whether `payload` says online; nothing when it is no status.
inline std::optional<bool> ReadStatus(std::string_view payload) {
    if (payload == "online" || payload == "offline") {
        return payload == "online";
    }
    return std::nullopt;
}

}  // namespace station::protocol
