#include "protocol/scale_state.h"

#include <tuple>

#include "protocol/iso_time.h"
#include "protocol/json_fields.h"
#include "protocol/weighing.h"  // the texts' bounds

namespace station::protocol {

const char* RangeText(Range range) {
    switch (range) {
        case Range::kOk:
            return "ok";
        case Range::kOver:
            return "over";
        case Range::kUnder:
            return "under";
    }
    return "";
}

std::string WriteScaleState(const ScaleState& state) {
    nlohmann::ordered_json message;
    message["connected"] = state.connected;
    message["reading"] = state.reading;
    WriteUnit(message, state.unit);
    message["motion"] = nullptr;
    if (state.motion) {
        message["motion"] = *state.motion;
    }
    message["range"] = nullptr;
    if (state.range) {
        message["range"] = RangeText(*state.range);
    }
    message["time"] = state.time;
    if (!state.problem.empty()) {
        message["problem"] = state.problem;
    }
    return message.dump();
}

std::variant<ScaleState, MessageProblem> ReadScaleState(std::string_view payload) {
    auto object = JsonObject(payload);
    if (auto* problem = std::get_if<MessageProblem>(&object)) {
        return std::move(*problem);
    }
    const nlohmann::json& message = std::get<nlohmann::json>(object);
    ScaleState state;
    const auto connected = message.find("connected");
    const auto motion = message.find("motion");
    const auto range = message.find("range");
    if (connected == message.end() || motion == message.end() || range == message.end()) {
        return MessageProblem{ProblemKind::kMissingField, "connected, motion or range"};
    }
    if (!connected->is_boolean() || !(motion->is_boolean() || motion->is_null()) ||
        !(range->is_string() || range->is_null())) {
        return MessageProblem{ProblemKind::kWrongType, "connected, motion or range"};
    }
    state.connected = connected->get<bool>();
    if (motion->is_boolean()) {
        state.motion = motion->get<bool>();
    }
    if (range->is_string()) {
        const std::string text = range->get<std::string>();
        for (const Range known : {Range::kOk, Range::kOver, Range::kUnder}) {
            if (text == RangeText(known)) {
                state.range = known;
            }
        }
        if (!state.range) {
            return MessageProblem{ProblemKind::kBadValue, "range is none of ok, over, under"};
        }
    }
    for (auto [field, target, longest] : {std::tuple{"reading", &state.reading, kLongestReading},
                                          std::tuple{"time", &state.time, kLongestTime}}) {
        auto text = TextField(message, field, longest);
        if (auto* problem = std::get_if<MessageProblem>(&text)) {
            return std::move(*problem);
        }
        *target = std::move(std::get<std::string>(text));
    }
    if (message.contains("problem")) {
        auto problem = TextField(message, "problem", kLongestReading);
        if (auto* wrong = std::get_if<MessageProblem>(&problem)) {
            return std::move(*wrong);
        }
        state.problem = std::move(std::get<std::string>(problem));
    }
    auto unit = ReadUnit(message);
    if (auto* problem = std::get_if<MessageProblem>(&unit)) {
        return std::move(*problem);
    }
    state.unit = std::move(std::get<std::string>(unit));
    if (!IsIsoTime(state.time)) {
        return MessageProblem{ProblemKind::kBadValue, "time is not ISO 8601"};
    }
    return state;
}

}  // namespace station::protocol
