#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace station {

// A collector's request that a station send its weighings again from the start of a month:
// {"request": a token naming this request, "from": "yyyymm"}, retained on the station's topic
// "replay", so that it reaches a station that is away when it is made. A station honours each
// token once ever, so every request a collector makes carries a token never used before, and
// replays at most once per kReplayInterval: a request within it is honoured when it ends.
inline constexpr std::chrono::minutes kReplayInterval{1};

struct ReplayRequest {
    std::string token;
    std::string from_month;  // "yyyymm"
};

// The request, or nothing with `problem` saying why the payload is none.
std::optional<ReplayRequest> ReadReplayRequest(const std::string& payload, std::string& problem);

std::string ReplayRequestMessage(const ReplayRequest& request);

}  // namespace station
