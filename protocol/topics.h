#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "protocol/message_problem.h"

namespace station::protocol {

// The topics under a station's own, "PREFIX/ROOM": its "status" ("online", "offline", retained),
// its "replay" requests, and each scale's "wagaN/weighing" and "wagaN/state".
enum class TopicKind { kStatus, kReplay, kWeighing, kState };

// The topic of `kind` under `station_topic`; `scale` (1 to 4) names the scale of a weighing or a
// state.
std::string TopicOf(std::string_view station_topic, TopicKind kind, int scale = 0);

// A room's station topic under the plant's `prefix`: "PREFIX/ROOM".
std::string RoomTopic(std::string_view prefix, std::string_view room);

// The filter that takes `kind` of every station under `prefix` ("PREFIX/+/+/weighing").
std::string EveryStationsTopic(std::string_view prefix, TopicKind kind);

struct StationTopic {
    std::string room;
    TopicKind kind;
    int scale = 0;  // of a weighing or a state
};

// The room's name is read as it stands, at most kLongestRoom bytes of UTF-8 without control
// characters (it reaches tables, logs and pages).
inline constexpr std::size_t kLongestRoom = 200;

// `topic` read as one of a station's under `prefix`, or why it is none.
std::variant<StationTopic, MessageProblem> ReadTopic(std::string_view prefix,
                                                     std::string_view topic);

}  // namespace station::protocol
