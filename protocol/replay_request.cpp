#include "protocol/replay_request.h"

#include <algorithm>

#include "protocol/json_fields.h"

namespace station::protocol {
namespace {

constexpr std::size_t kLongestToken = 200;

}  // namespace

std::variant<ReplayRequest, MessageProblem> ReadReplayRequest(std::string_view payload) {
    auto object = JsonObject(payload);
    if (auto* problem = std::get_if<MessageProblem>(&object)) {
        return MessageProblem{problem->kind, "not a JSON object"};
    }
    const nlohmann::json& message = std::get<nlohmann::json>(object);
    const auto token = message.find("request");
    const auto from = message.find("from");
    if (token == message.end() || !token->is_string() || from == message.end() ||
        !from->is_string()) {
        return MessageProblem{ProblemKind::kWrongType, "\"request\" and \"from\" must be texts"};
    }
    std::string text = token->get<std::string>();
    // A token is kept on a line of its own among those honoured.
    if (text.empty() || text.size() > kLongestToken ||
        std::any_of(text.begin(), text.end(),
                    [](unsigned char c) { return c < 0x20 || c == 0x7f; })) {
        return MessageProblem{ProblemKind::kBadValue,
                              "\"request\" must hold 1 to 200 characters, none a control "
                              "character"};
    }
    const std::optional<Month> month = Month::Read(from->get<std::string>());
    if (!month) {
        return MessageProblem{ProblemKind::kBadValue, "\"from\" is no month (yyyymm)"};
    }
    std::uint64_t at = 0;
    if (const auto offset = message.find("at"); offset != message.end()) {
        if (!offset->is_number_unsigned()) {
            return MessageProblem{ProblemKind::kWrongType, "\"at\" must be a number"};
        }
        at = offset->get<std::uint64_t>();
    }
    return ReplayRequest{std::move(text), *month, at};
}

std::string WriteReplayRequest(const ReplayRequest& request) {
    nlohmann::ordered_json message;
    message["request"] = request.token;
    message["from"] = request.from.Text();
    if (request.at != 0) {
        message["at"] = request.at;
    }
    return message.dump();
}

}  // namespace station::protocol
