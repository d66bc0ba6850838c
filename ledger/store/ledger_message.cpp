#include "ledger/store/ledger_message.h"

#include <charconv>

#include "common/ascii.h"
#include "protocol/iso_time.h"
#include "protocol/scale_state.h"
#include "protocol/station_status.h"
#include "protocol/topics.h"
#include "protocol/weighing.h"

namespace station::ledger {
namespace {

Rejection Reject(RejectKind kind, std::string detail) {
    return {kind, std::move(detail)};
}

Rejection RejectionOf(protocol::MessageProblem problem) {
    return {problem.kind, std::move(problem.detail)};
}

}  // namespace

std::optional<double> WeightOf(std::string_view reading) {
    while (!reading.empty() && reading.front() == ' ') {
        reading.remove_prefix(1);
    }
    while (!reading.empty() && reading.back() == ' ') {
        reading.remove_suffix(1);
    }
    std::string number;
    bool digits = false;
    bool point = false;
    for (std::size_t i = 0; i < reading.size(); ++i) {
        const char c = reading[i];
        if (IsDigit(c)) {
            digits = true;
            number += c;
        } else if ((c == '.' || c == ',') && !point) {
            point = true;
            number += '.';
        } else if ((c == '-' || c == '+') && i == 0) {
            number += c == '-' ? "-" : "";
        } else {
            return std::nullopt;
        }
    }
    double weight = 0;
    if (!digits ||
        std::from_chars(number.data(), number.data() + number.size(), weight).ec != std::errc{}) {
        return std::nullopt;
    }
    return weight;
}

namespace {

// The month after the one of `received` (the ledger's own ISO time), if it can be read.
// The latest month a weighing's id may name: the month of the ledger's clock, or the next one
// from that month's last day on, a day's slack for a station whose clock (or time zone) is ahead.
std::optional<Month> LatestMonth(std::string_view received) {
    const std::optional<protocol::IsoFields> now = protocol::ReadIsoFields(received);
    const std::optional<Month> month = now ? Month::Of(now->year, now->month) : std::nullopt;
    if (!month) {
        return std::nullopt;
    }
    return now->day >= month->Days() ? month->Next() : *month;
}

LedgerMessage Weighing(const std::string& station, int scale, std::string_view payload,
                       const std::string& received) {
    auto read = protocol::ReadWeighing(payload);
    if (auto* problem = std::get_if<protocol::MessageProblem>(&read)) {
        return RejectionOf(std::move(*problem));
    }
    protocol::Weighing& weighing = std::get<protocol::Weighing>(read);
    if (weighing.scale != scale) {
        return Reject(protocol::ProblemKind::kBadValue, "scale differs from the topic's");
    }
    // A month to come would hold the ledger's replays there, past every real month, and skip
    // the gaps before it.
    if (const auto latest = LatestMonth(received); latest && weighing.id.month > *latest) {
        return Reject(protocol::ProblemKind::kBadValue, "id's month has not begun");
    }
    WeighingRow row;
    row.station = station;
    row.scale = scale;
    row.id = weighing.id.Text();
    row.client_id = std::move(weighing.id.client_id);
    row.month = weighing.id.month.Yyyymm();
    row.place = weighing.id.Place();
    if (protocol::PlacesCanBe(weighing)) {
        row.after = weighing.after;
        row.next = weighing.next;
    } else {
        row.untrusted_places = true;  // nor stored, for another ledger to walk on over
    }
    row.weight = WeightOf(weighing.reading);
    row.reading = std::move(weighing.reading);
    row.unit = std::move(weighing.unit);
    row.time = std::move(weighing.time);
    row.line = std::move(weighing.line);
    row.received = received;
    row.seal = weighing.seal;
    return row;
}

}  // namespace

std::string WeighingMessage(const WeighingRow& row) {
    auto id = protocol::WeighingId::Read(row.id);
    if (!id) {
        return row.line;
    }
    return protocol::WriteWeighing({.id = std::move(*id),
                                    .scale = row.scale,
                                    .reading = row.reading,
                                    .unit = row.unit,
                                    .time = row.time,
                                    .line = row.line,
                                    .after = row.after,
                                    .next = row.next,
                                    .seal = row.seal});
}

namespace {

LedgerMessage State(const std::string& station, int scale, std::string_view payload,
                    const std::string& received) {
    auto read = protocol::ReadScaleState(payload);
    if (auto* problem = std::get_if<protocol::MessageProblem>(&read)) {
        return RejectionOf(std::move(*problem));
    }
    protocol::ScaleState& state = std::get<protocol::ScaleState>(read);
    ScaleStateRow row;
    row.station = station;
    row.scale = scale;
    row.connected = state.connected;
    row.motion = state.motion;
    if (state.range) {
        row.range = protocol::RangeText(*state.range);
    }
    row.reading = std::move(state.reading);
    row.unit = std::move(state.unit);
    row.time = std::move(state.time);
    row.received = received;
    return row;
}

}  // namespace

const char* RejectKindName(RejectKind kind) {
    if (const auto* problem = std::get_if<protocol::ProblemKind>(&kind)) {
        switch (*problem) {
            case protocol::ProblemKind::kTopic:
                return "no station's topic";
            case protocol::ProblemKind::kNotJson:
                return "not JSON";
            case protocol::ProblemKind::kMissingField:
                return "a field missing";
            case protocol::ProblemKind::kWrongType:
                return "a field of a wrong type";
            case protocol::ProblemKind::kBadValue:
                return "a value no station sends";
        }
        return "unknown";
    }
    switch (std::get<LedgerProblem>(kind)) {
        case LedgerProblem::kTooLarge:
            return "too large";
        case LedgerProblem::kForeignId:
            return "an id of another station";
        case LedgerProblem::kRefusedByDatabase:
            return "refused by the database";
        case LedgerProblem::kConflict:
            return "an id held already with another line";
        case LedgerProblem::kRoomRefused:
            return "a room not kept";
        case LedgerProblem::kSeal:
            return "a seal that does not verify";
    }
    return "unknown";
}

LedgerMessage ReadLedgerMessage(std::string_view prefix, std::string_view topic,
                                std::string_view payload, const std::string& received) {
    if (payload.size() > kLargestMessage) {
        return Reject(LedgerProblem::kTooLarge,
                      "more than " + std::to_string(kLargestMessage) + " bytes");
    }
    auto read = protocol::ReadTopic(prefix, topic);
    if (auto* problem = std::get_if<protocol::MessageProblem>(&read)) {
        return RejectionOf(std::move(*problem));
    }
    protocol::StationTopic& station = std::get<protocol::StationTopic>(read);
    switch (station.kind) {
        case protocol::TopicKind::kStatus:
            if (const std::optional<bool> online = protocol::ReadStatus(payload)) {
                return StationStatusRow{std::move(station.room), *online, received};
            }
            return Reject(protocol::ProblemKind::kBadValue, "status is neither online nor offline");
        case protocol::TopicKind::kWeighing:
            return Weighing(station.room, station.scale, payload, received);
        case protocol::TopicKind::kState:
            return State(station.room, station.scale, payload, received);
        case protocol::TopicKind::kReplay:
            return ReplayTopicHeard{std::move(station.room), payload.empty()};
    }
    return Reject(protocol::ProblemKind::kTopic, "neither a status, a weighing nor a state");
}

}  // namespace station::ledger
