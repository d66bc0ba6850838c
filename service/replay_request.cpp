#include "service/replay_request.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "core/register/register_place.h"

namespace station {
namespace {

constexpr std::size_t kLongestToken = 200;

}  // namespace

std::optional<ReplayRequest> ReadReplayRequest(const std::string& payload, std::string& problem) {
    const nlohmann::json message = nlohmann::json::parse(payload, nullptr, false);
    if (!message.is_object()) {
        problem = "not a JSON object";
        return std::nullopt;
    }
    const auto token = message.find("request");
    const auto from = message.find("from");
    if (token == message.end() || !token->is_string() || from == message.end() ||
        !from->is_string()) {
        problem = "\"request\" and \"from\" must be texts";
        return std::nullopt;
    }
    ReplayRequest request{token->get<std::string>(), from->get<std::string>()};
    // A token is kept on a line of its own among those honoured.
    if (request.token.empty() || request.token.size() > kLongestToken ||
        std::any_of(request.token.begin(), request.token.end(),
                    [](unsigned char c) { return c < 0x20 || c == 0x7f; })) {
        problem = "\"request\" must hold 1 to 200 characters, none a control character";
        return std::nullopt;
    }
    if (!IsMonth(request.from_month)) {
        problem = "\"from\" is no month (yyyymm)";
        return std::nullopt;
    }
    return request;
}

std::string ReplayRequestMessage(const ReplayRequest& request) {
    nlohmann::ordered_json message;
    message["request"] = request.token;
    message["from"] = request.from_month;
    return message.dump();
}

}  // namespace station
