#include "protocol/topics.h"

#include <vector>

#include "protocol/utf8_text.h"

namespace station::protocol {
namespace {

constexpr std::string_view kScalePrefix = "waga";
constexpr int kScales = 4;

std::string_view LeafOf(TopicKind kind) {
    switch (kind) {
        case TopicKind::kStatus:
            return "status";
        case TopicKind::kReplay:
            return "replay";
        case TopicKind::kWeighing:
            return "weighing";
        case TopicKind::kState:
            return "state";
    }
    return {};
}

// "wagaN" with N a scale's number, or 0.
int ScaleOf(std::string_view part) {
    if (part.size() == kScalePrefix.size() + 1 && part.starts_with(kScalePrefix)) {
        const int scale = part.back() - '0';
        return scale >= 1 && scale <= kScales ? scale : 0;
    }
    return 0;
}

bool OfAScale(TopicKind kind) {
    return kind == TopicKind::kWeighing || kind == TopicKind::kState;
}

MessageProblem NoTopic(std::string detail) {
    return {ProblemKind::kTopic, std::move(detail)};
}

}  // namespace

std::string TopicOf(std::string_view station_topic, TopicKind kind, int scale) {
    std::string topic(station_topic);
    topic += '/';
    if (OfAScale(kind)) {
        topic.append(kScalePrefix).append(std::to_string(scale)).append(1, '/');
    }
    return topic.append(LeafOf(kind));
}

std::string RoomTopic(std::string_view prefix, std::string_view room) {
    return std::string(prefix).append(1, '/').append(room);
}

std::string EveryStationsTopic(std::string_view prefix, TopicKind kind) {
    std::string topic(prefix);
    topic += OfAScale(kind) ? "/+/+/" : "/+/";
    return topic.append(LeafOf(kind));
}

std::variant<StationTopic, MessageProblem> ReadTopic(std::string_view prefix,
                                                     std::string_view topic) {
    // PREFIX / ROOM / (status | replay | wagaN / (weighing | state))
    if (!topic.starts_with(prefix) || topic.size() <= prefix.size() ||
        topic[prefix.size()] != '/') {
        return NoTopic("not under the prefix");
    }
    std::vector<std::string_view> parts;
    for (std::string_view rest = topic.substr(prefix.size() + 1);;) {
        const std::size_t slash = rest.find('/');
        parts.push_back(rest.substr(0, slash));
        if (slash == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(slash + 1);
    }
    std::string room(parts[0]);
    if (room.empty()) {
        return NoTopic("no station");
    }
    if (room.size() > kLongestRoom) {
        return NoTopic("a room's name longer than " + std::to_string(kLongestRoom) + " bytes");
    }
    if (ShownBytes(room) != room) {
        return NoTopic("a room's name with control characters or no UTF-8");
    }
    if (parts.size() == 2 &&
        (parts[1] == LeafOf(TopicKind::kStatus) || parts[1] == LeafOf(TopicKind::kReplay))) {
        return StationTopic{std::move(room), parts[1] == LeafOf(TopicKind::kStatus)
                                                 ? TopicKind::kStatus
                                                 : TopicKind::kReplay};
    }
    if (parts.size() > 3 || (parts.size() == 3 && parts[2] == LeafOf(TopicKind::kStatus))) {
        return NoTopic("topic not " + std::string(prefix) + "/<room>/…");
    }
    const int scale = parts.size() == 3 ? ScaleOf(parts[1]) : 0;
    if (scale == 0 ||
        (parts[2] != LeafOf(TopicKind::kWeighing) && parts[2] != LeafOf(TopicKind::kState))) {
        return NoTopic("neither a status, a weighing nor a state");
    }
    return StationTopic{
        std::move(room),
        parts[2] == LeafOf(TopicKind::kWeighing) ? TopicKind::kWeighing : TopicKind::kState, scale};
}

}  // namespace station::protocol
