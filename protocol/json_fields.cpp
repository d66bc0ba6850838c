#include "protocol/json_fields.h"

namespace station::protocol {

std::variant<nlohmann::json, MessageProblem> JsonObject(std::string_view payload) {
    nlohmann::json message = nlohmann::json::parse(payload.begin(), payload.end(), nullptr, false);
    if (message.is_discarded()) {
        return MessageProblem{ProblemKind::kNotJson, ""};
    }
    if (!message.is_object()) {
        return MessageProblem{ProblemKind::kWrongType, "not a JSON object"};
    }
    return message;
}

std::variant<std::string, MessageProblem> TextField(const nlohmann::json& message,
                                                    const char* field, std::size_t longest) {
    const auto found = message.find(field);
    if (found == message.end()) {
        return MessageProblem{ProblemKind::kMissingField, field};
    }
    if (!found->is_string()) {
        return MessageProblem{ProblemKind::kWrongType, std::string(field) + " is no text"};
    }
    std::string text = found->get<std::string>();
    if (text.size() > longest) {
        return MessageProblem{ProblemKind::kBadValue, std::string(field) + " longer than " +
                                                          std::to_string(longest) + " bytes"};
    }
    if (text.find('\0') != std::string::npos) {
        return MessageProblem{ProblemKind::kBadValue,
                              std::string(field) + " holds a NUL character"};
    }
    return text;
}

namespace {

constexpr const char* kUnit = "unit";
constexpr const char* kKilograms = "kg";
constexpr std::size_t kLongestUnit = 20;

}  // namespace

void WriteUnit(nlohmann::ordered_json& message, const std::string& unit) {
    if (!unit.empty() && unit != kKilograms) {
        message[kUnit] = unit;
    }
}

std::variant<std::string, MessageProblem> ReadUnit(const nlohmann::json& message) {
    if (!message.contains(kUnit)) {
        return std::string(kKilograms);
    }
    return TextField(message, kUnit, kLongestUnit);
}

}  // namespace station::protocol
