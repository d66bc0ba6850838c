#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "protocol/message_problem.h"

namespace station::protocol {

// A scale's live state as it goes out on "wagaN/state" (QoS 0, retained): {"connected",
// "reading", "unit", "motion", "range", "time"}. "reading" is the text the display shows,
// "unit" is written only for a unit other than kilograms, "motion" is null where the format
// does not say, "range" is null but for a weight ("ok") or one out of range. "problem" is
// written only where the station knows why no weight shows: "no frame read" while bytes come
// and none of them makes a frame.
enum class Range { kOk, kOver, kUnder };

struct ScaleState {
    bool connected = false;
    std::string reading;
    std::string unit = "kg";
    std::optional<bool> motion;
    std::optional<Range> range;
    std::string time;     // ISO 8601
    std::string problem;  // empty but for kNoFrameRead
};

inline constexpr std::string_view kNoFrameRead = "no frame read";

// "ok", "over", "under".
const char* RangeText(Range range);

std::string WriteScaleState(const ScaleState& state);
std::variant<ScaleState, MessageProblem> ReadScaleState(std::string_view payload);

}  // namespace station::protocol
