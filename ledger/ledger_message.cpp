#include "ledger/ledger_message.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <tuple>

#include "core/text/ascii.h"

namespace station::ledger {
namespace {

using Json = nlohmann::json;

constexpr int kScales = 4;

// Every field bounded at the door, before it reaches an index (PostgreSQL keeps at most 2,704
// bytes of a key) or the page: far above anything a station sends.
constexpr std::size_t kLongestStation = 200;  // as the page takes a room's name
constexpr std::size_t kLongestId = 300;
constexpr std::size_t kLongestReading = 100;
constexpr std::size_t kLongestLine = 1000;
constexpr std::size_t kLongestTime = 40;

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned lowest = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    unsigned code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= lowest && code <= 0x10FFFF && !surrogate ? length : 0;
}

Rejection Reject(RejectKind kind, std::string detail) {
    return {kind, std::move(detail)};
}

// "wagaN" with N a scale's number, or 0.
int ScaleOf(std::string_view part) {
    constexpr std::string_view kScale = "waga";
    if (part.size() == kScale.size() + 1 && part.starts_with(kScale)) {
        const int scale = part.back() - '0';
        return scale >= 1 && scale <= kScales ? scale : 0;
    }
    return 0;
}

// The weight of a reading that is a plain decimal number: blanks, a sign, digits with one
// point or comma.
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

// A field's text; a missing field or another type is a rejection, as is a NUL character, which
// no register line holds and no database keeps in a text.
std::variant<std::string, Rejection> Text(const Json& message, const char* field,
                                          std::size_t longest) {
    const auto found = message.find(field);
    if (found == message.end()) {
        return Reject(RejectKind::kMissingField, field);
    }
    if (!found->is_string()) {
        return Reject(RejectKind::kWrongType, std::string(field) + " is no text");
    }
    std::string text = found->get<std::string>();
    if (text.size() > longest) {
        return Reject(RejectKind::kBadValue,
                      std::string(field) + " longer than " + std::to_string(longest) + " bytes");
    }
    if (text.find('\0') != std::string::npos) {
        return Reject(RejectKind::kBadValue, std::string(field) + " holds a NUL character");
    }
    return text;
}

bool InRange(std::string_view text, std::size_t at, std::size_t length, int lowest, int highest) {
    int value = 0;
    const char* first = text.data() + at;
    const auto [end, error] = std::from_chars(first, first + length, value);
    return error == std::errc{} && end == first + length && value >= lowest && value <= highest;
}

// "yyyy-mm-ddThh:mm:ss", perhaps with a fraction of a second, then "Z" or an offset "+hh:mm":
// the page reads the day and the hour from it.
bool IsIsoTime(std::string_view time) {
    if (time.size() < 20 || time[4] != '-' || time[7] != '-' || time[10] != 'T' ||
        time[13] != ':' || time[16] != ':' || !InRange(time, 0, 4, 1, 9999) ||
        !InRange(time, 5, 2, 1, 12) || !InRange(time, 8, 2, 1, 31) ||
        !InRange(time, 11, 2, 0, 23) || !InRange(time, 14, 2, 0, 59) ||
        !InRange(time, 17, 2, 0, 60)) {
        return false;
    }
    std::size_t at = 19;
    if (time[at] == '.') {
        const std::size_t digits_end = time.find_first_not_of("0123456789", at + 1);
        const std::size_t end = digits_end == std::string_view::npos ? time.size() : digits_end;
        if (end == at + 1) {
            return false;
        }
        at = end;
    }
    const std::string_view zone = time.substr(std::min(at, time.size()));
    return zone == "Z" ||
           (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':' &&
            InRange(zone, 1, 2, 0, 23) && InRange(zone, 4, 2, 0, 59));
}

// yyyymm of the month after the one of `received` (the ledger's own ISO time), or 0 when it
// cannot be read.
int MonthAfter(std::string_view received) {
    if (received.size() < 7 || !InRange(received, 0, 4, 1, 9999) ||
        !InRange(received, 5, 2, 1, 12)) {
        return 0;
    }
    const int year = std::stoi(std::string(received.substr(0, 4)));
    const int month = std::stoi(std::string(received.substr(5, 2)));
    return month == 12 ? (year + 1) * 100 + 1 : year * 100 + month + 1;
}

// The id's parts, "CLIENT/yyyymm/OFFSET", or nothing.
bool ReadId(const std::string& id, std::string& client_id, int& month) {
    const std::size_t offset_at = id.rfind('/');
    if (offset_at == std::string::npos || offset_at < 8 || id[offset_at - 7] != '/') {
        return false;
    }
    const std::string_view offset = std::string_view(id).substr(offset_at + 1);
    const std::string_view yyyymm = std::string_view(id).substr(offset_at - 6, 6);
    const auto all_digits = [](std::string_view text) {
        return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
    };
    if (!all_digits(offset) || offset.size() > 19 || !all_digits(yyyymm)) {
        return false;
    }
    month = std::stoi(std::string(yyyymm));
    client_id = id.substr(0, offset_at - 7);
    return !client_id.empty() && month >= 100001 && month % 100 >= 1 && month % 100 <= 12;
}

LedgerMessage Weighing(const std::string& station, int scale, const Json& message,
                       const std::string& received) {
    WeighingRow row;
    row.station = station;
    row.received = received;
    for (auto [field, target, longest] : {std::tuple{"id", &row.id, kLongestId},
                                          std::tuple{"reading", &row.reading, kLongestReading},
                                          std::tuple{"line", &row.line, kLongestLine}}) {
        auto text = Text(message, field, longest);
        if (auto* rejection = std::get_if<Rejection>(&text)) {
            return *rejection;
        }
        *target = std::move(std::get<std::string>(text));
    }
    const auto scale_field = message.find("scale");
    if (scale_field == message.end()) {
        return Reject(RejectKind::kMissingField, "scale");
    }
    if (!scale_field->is_number_integer()) {
        return Reject(RejectKind::kWrongType, "scale is no integer");
    }
    if (scale_field->get<std::int64_t>() != scale) {
        return Reject(RejectKind::kBadValue, "scale differs from the topic's");
    }
    row.scale = scale;
    const auto time = message.find("time");
    if (time == message.end()) {
        return Reject(RejectKind::kMissingField, "time");
    }
    if (!time->is_null()) {
        auto text = Text(message, "time", kLongestTime);
        if (auto* rejection = std::get_if<Rejection>(&text)) {
            return *rejection;
        }
        row.time = std::move(std::get<std::string>(text));
        if (!IsIsoTime(*row.time)) {
            return Reject(RejectKind::kBadValue, "time is neither ISO 8601 nor null");
        }
    }
    if (!ReadId(row.id, row.client_id, row.month)) {
        return Reject(RejectKind::kBadValue, "id is not CLIENT/yyyymm/OFFSET");
    }
    // A month to come would hold the ledger's replays there, past every real month.
    if (const int latest = MonthAfter(received); latest != 0 && row.month > latest) {
        return Reject(RejectKind::kBadValue, "id's month is later than next month");
    }
    row.weight = WeightOf(row.reading);
    return row;
}

LedgerMessage State(const std::string& station, int scale, const Json& message,
                    const std::string& received) {
    ScaleStateRow row;
    row.station = station;
    row.scale = scale;
    row.received = received;
    const auto connected = message.find("connected");
    const auto motion = message.find("motion");
    const auto range = message.find("range");
    if (connected == message.end() || motion == message.end() || range == message.end()) {
        return Reject(RejectKind::kMissingField, "connected, motion or range");
    }
    if (!connected->is_boolean() || !(motion->is_boolean() || motion->is_null()) ||
        !(range->is_string() || range->is_null())) {
        return Reject(RejectKind::kWrongType, "connected, motion or range");
    }
    row.connected = connected->get<bool>();
    if (motion->is_boolean()) {
        row.motion = motion->get<bool>();
    }
    if (range->is_string()) {
        const std::string text = range->get<std::string>();
        if (text != "ok" && text != "over" && text != "under") {
            return Reject(RejectKind::kBadValue, "range is none of ok, over, under");
        }
        row.range = text;
    }
    for (auto [field, target, longest] : {std::tuple{"reading", &row.reading, kLongestReading},
                                          std::tuple{"time", &row.time, kLongestTime}}) {
        auto text = Text(message, field, longest);
        if (auto* rejection = std::get_if<Rejection>(&text)) {
            return *rejection;
        }
        *target = std::move(std::get<std::string>(text));
    }
    if (!IsIsoTime(row.time)) {
        return Reject(RejectKind::kBadValue, "time is not ISO 8601");
    }
    return row;
}

}  // namespace

const char* RejectKindName(RejectKind kind) {
    switch (kind) {
        case RejectKind::kTooLarge:
            return "too large";
        case RejectKind::kTopic:
            return "no station's topic";
        case RejectKind::kNotJson:
            return "not JSON";
        case RejectKind::kMissingField:
            return "a field missing";
        case RejectKind::kWrongType:
            return "a field of a wrong type";
        case RejectKind::kBadValue:
            return "a value no station sends";
        case RejectKind::kForeignId:
            return "an id of another station";
        case RejectKind::kRefusedByDatabase:
            return "refused by the database";
        case RejectKind::kConflict:
            return "an id held already with another line";
        case RejectKind::kRoomRefused:
            return "a room not kept";
    }
    return "unknown";
}

LedgerMessage ReadLedgerMessage(std::string_view prefix, std::string_view topic,
                                std::string_view payload, const std::string& received) {
    if (payload.size() > kLargestMessage) {
        return Reject(RejectKind::kTooLarge,
                      "more than " + std::to_string(kLargestMessage) + " bytes");
    }
    // PREFIX / STATION / (status | wagaN / (weighing | state))
    if (!topic.starts_with(prefix) || topic.size() <= prefix.size() ||
        topic[prefix.size()] != '/') {
        return Reject(RejectKind::kTopic, "not under the prefix");
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
    const std::string station(parts[0]);
    if (station.empty()) {
        return Reject(RejectKind::kTopic, "no station");
    }
    if (station.size() > kLongestStation) {
        return Reject(RejectKind::kTopic,
                      "a room's name longer than " + std::to_string(kLongestStation) + " bytes");
    }
    if (ShownBytes(station) != station) {
        return Reject(RejectKind::kTopic, "a room's name with control characters or no UTF-8");
    }
    if (parts.size() == 2 && parts[1] == "status") {
        if (payload != "online" && payload != "offline") {
            return Reject(RejectKind::kBadValue, "status is neither online nor offline");
        }
        return StationStatusRow{station, payload == "online", received};
    }
    if (parts.size() > 3 || (parts.size() == 3 && parts[2] == "status")) {
        return Reject(RejectKind::kTopic, "topic not " + std::string(prefix) + "/<room>/…");
    }
    const int scale = parts.size() == 3 ? ScaleOf(parts[1]) : 0;
    if (scale == 0 || (parts[2] != "weighing" && parts[2] != "state")) {
        return Reject(RejectKind::kTopic, "neither a status, a weighing nor a state");
    }
    const Json message = Json::parse(payload.begin(), payload.end(), nullptr, false);
    if (message.is_discarded()) {
        return Reject(RejectKind::kNotJson, "");
    }
    if (!message.is_object()) {
        return Reject(RejectKind::kWrongType, "not a JSON object");
    }
    return parts[2] == "weighing" ? Weighing(station, scale, message, received)
                                  : State(station, scale, message, received);
}

std::string ShownBytes(std::string_view bytes, std::size_t limit) {
    std::string shown;
    const std::string_view part = bytes.substr(0, limit);
    for (std::size_t at = 0; at < part.size();) {
        const std::size_t length = Utf8Length(part.substr(at));
        const auto byte = static_cast<unsigned char>(part[at]);
        if (length == 0 || (length == 1 && (byte < 0x20 || byte == 0x7F) && byte != '\t')) {
            constexpr std::string_view kHex = "0123456789abcdef";
            shown.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xF]);
            ++at;
        } else {
            shown.append(part.substr(at, length));
            at += length;
        }
    }
    if (bytes.size() > limit) {
        shown.append("...");
    }
    return shown;
}

}  // namespace station::ledger
