#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <variant>

#include "common/month.h"
#include "protocol/message_problem.h"

namespace station::protocol {

// A collector's request that a station send its weighings again from the start of a month, or
// from a byte offset in it: {"request": a token naming this request, "from": "yyyymm", "at":
// OFFSET}, "at" only where it is not 0 (a station that does not know it starts at the month's
// start, which sends more, never less), retained on the station's topic "replay", so that it
// reaches a station that is away when it is made. A station honours each
// token once ever, so every request a collector makes carries a token never used before, and
// replays at most once per kReplayInterval: a request within it is honoured when it ends.
inline constexpr std::chrono::minutes kReplayInterval{1};

struct ReplayRequest {
    std::string token;
    Month from;
    std::uint64_t at = 0;
};

std::variant<ReplayRequest, MessageProblem> ReadReplayRequest(std::string_view payload);

std::string WriteReplayRequest(const ReplayRequest& request);

}  // namespace station::protocol
