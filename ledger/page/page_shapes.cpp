#include "ledger/page/page_shapes.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <map>
#include <string_view>
#include <utility>

#include "common/ascii.h"
#include "ledger/page/export_columns.h"

namespace station::ledger {
namespace {

using Json = nlohmann::ordered_json;

std::string Dump(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

template <typename T>
Json OrNull(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json Weight(const std::optional<std::string>& text) {
    return text ? Json(std::stod(*text)) : Json(nullptr);
}

// A reading that is a number as the display writes it: an optional minus, digits, one point.
// Written with a decimal comma, a Polish spreadsheet takes it for the number, not a date.
bool IsPlainNumber(std::string_view text) {
    if (text.starts_with('-')) {
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    const auto digits = [](std::string_view part) {
        return !part.empty() && std::all_of(part.begin(), part.end(), IsDigit);
    };
    return point == std::string_view::npos
               ? digits(text)
               : digits(text.substr(0, point)) && digits(text.substr(point + 1));
}

// A Polish spreadsheet's number: a decimal comma.
std::string DecimalComma(std::string number) {
    std::replace(number.begin(), number.end(), '.', ',');
    return number;
}

}  // namespace

std::optional<double> ReadingNumber(std::string_view reading) {
    std::string number(reading);
    std::replace(number.begin(), number.end(), ',', '.');
    double value = 0;
    if (!IsPlainNumber(number) ||
        std::from_chars(number.data(), number.data() + number.size(), value).ec != std::errc{}) {
        return std::nullopt;
    }
    return value;
}

std::string DateText(const protocol::IsoFields& time) {
    return Day{time.year, time.month, time.day}.Text();
}

std::string TimeText(const protocol::IsoFields& time) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%02d:%02d:%02d", time.hour, time.minute, time.second);
    return text.data();
}

std::string StationsJson(const std::vector<StationSeen>& stations,
                         const std::vector<ScaleSeen>& scales) {
    Json answer = Json::object();
    for (const StationSeen& station : stations) {
        answer[station.station] = {{"online", station.online},
                                   {"since", OrNull(station.since)},
                                   {"disputed", station.disputed},
                                   {"scales", Json::object()}};
        if (const std::optional<RoomSeal>& seal = station.seal) {
            answer[station.station]["seal"] = {
                {"key", seal->key}, {"pinned", seal->pinned}, {"break", seal->first_break}};
        }
    }
    for (const ScaleSeen& scale : scales) {
        Json& station = answer[scale.station];
        if (!station.contains("online")) {
            station = {
                {"online", false}, {"since", nullptr}, {"disputed", 0}, {"scales", Json::object()}};
        }
        station["scales"][scale.scale] = {{"connected", scale.connected},
                                          {"reading", OrNull(scale.reading)},
                                          {"motion", OrNull(scale.motion)},
                                          {"range", OrNull(scale.range)},
                                          {"unit", OrNull(scale.unit)}};
    }
    return Dump(answer);
}

void AddLiveRooms(const LedgerHealth& health, std::vector<StationSeen>& stations,
                  std::vector<ScaleSeen>& scales) {
    std::map<std::string, long> disputed;
    for (const StationSeen& station : stations) {
        disputed[station.station] = station.disputed;
    }
    for (const auto& [room, heard] : health.stations) {
        if (heard.online) {
            stations.push_back({room, *heard.online,
                                heard.since.empty() ? std::nullopt : std::optional(heard.since),
                                disputed[room]});
        }
        for (const auto& [number, state] : heard.scales) {
            scales.push_back({room, std::to_string(number), state.connected, state.reading,
                              state.motion, state.range, state.unit});
        }
    }
    for (StationSeen& station : stations) {
        const auto heard = health.stations.find(station.station);
        if (health.verifying_seals && heard != health.stations.end()) {
            station.seal = {heard->second.key, heard->second.key_pinned, heard->second.seal_break};
        }
    }
}

Json TotalsJson(const std::vector<ScaleTotal>& totals) {
    Json sums = Json::array();
    for (const ScaleTotal& total : totals) {
        sums.push_back({{"station", OrNull(total.station)},
                        {"scale", total.scale},
                        {"unit", OrNull(total.unit)},
                        {"count", total.count},
                        {"sum", OrNull(total.sum)}});
    }
    return sums;
}

std::string DayViewJson(const DayQuery& query, std::vector<StoredWeighing> rows,
                        const std::vector<ScaleTotal>& totals,
                        const std::vector<HourCount>& hours) {
    Json answer;
    answer["day"] = query.day.Text();
    answer["page"] = query.page;
    answer["more"] = rows.size() > static_cast<std::size_t>(kPageRows);
    rows.resize(std::min(rows.size(), static_cast<std::size_t>(kPageRows)));
    Json& shown = answer["rows"] = Json::array();
    for (const StoredWeighing& row : rows) {
        shown.push_back({{"id", OrNull(row.id)},
                         {"station", OrNull(row.station)},
                         {"scale", row.scale},
                         {"reading", OrNull(row.reading)},
                         {"weight", Weight(row.weight)},
                         {"unit", OrNull(row.unit)},
                         {"time", OrNull(row.time)},
                         {"disputed", row.disputed}});
    }
    answer["totals"] = TotalsJson(totals);
    Json& counts = answer["hours"] = Json::array();
    for (const HourCount& hour : hours) {
        counts.push_back(
            {{"station", OrNull(hour.station)}, {"hour", hour.hour}, {"count", hour.count}});
    }
    return Dump(answer);
}

std::string DailyJson(const RangeQuery& range, const std::vector<DaySum>& days) {
    Json shown = Json::array();
    for (const DaySum& day : days) {
        shown.push_back({{"station", OrNull(day.station)},
                         {"day", OrNull(day.day)},
                         {"unit", OrNull(day.unit)},
                         {"count", day.count},
                         {"sum", OrNull(day.sum)}});
    }
    return Dump(Json{{"from", range.from.Text()}, {"to", range.to.Text()}, {"days", shown}});
}

std::string RangeJson(const RangeQuery& range, std::vector<RangeSum> rows,
                      const std::vector<ScaleTotal>& totals, std::size_t most) {
    Json answer{{"from", range.from.Text()},
                {"to", range.to.Text()},
                {"more", rows.size() > most},
                {"totals", TotalsJson(totals)}};
    rows.resize(std::min(rows.size(), most));
    Json& shown = answer["rows"] = Json::array();
    for (const RangeSum& row : rows) {
        shown.push_back({{"day", OrNull(row.day)},
                         {"station", OrNull(row.station)},
                         {"scale", row.scale},
                         {"unit", OrNull(row.unit)},
                         {"count", row.count},
                         {"sum", OrNull(row.sum)}});
    }
    return Dump(answer);
}

std::string StatusEventJson(const StationStatusRow& row) {
    return Dump(Json{{"kind", "status"},
                     {"station", row.station},
                     {"online", row.online},
                     {"since", row.received}});
}

std::string LedgerEventJson(const HealthBoard::Reach& reach) {
    Json cut = Json::array();
    for (const auto& [name, hall] : reach.halls) {
        if (!hall.connected) {
            cut.push_back({{"hall", name}, {"since", hall.since}});
        }
    }
    return Dump(Json{{"kind", "ledger"},
                     {"database", reach.database_open},
                     {"broker", reach.broker_connected},
                     {"halls_cut", std::move(cut)}});
}

std::string StateEventJson(const ScaleStateRow& row) {
    Json event;
    event["kind"] = "state";
    event["station"] = row.station;
    event["scale"] = row.scale;
    event["connected"] = row.connected;
    event["reading"] = row.reading;
    event["motion"] = OrNull(row.motion);
    event["range"] = OrNull(row.range);
    event["unit"] = row.unit;
    return Dump(event);
}

void AppendCsvField(std::string& out, std::string_view text) {
    const bool quoted = text.find_first_of(";\"\t\r\n") != std::string_view::npos;
    if (quoted) {
        out += '"';
    }
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string::npos) {
        out += '\'';
    }
    if (!quoted) {
        out.append(text);
        return;
    }
    for (const char c : text) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
}

std::string CsvHeader(bool seals) {
    std::string header = "\xEF\xBB\xBF";
    for (const ExportColumn& column : ExportColumns(seals)) {
        if (column.title != nullptr) {
            header.append(header.size() > 3 ? ";" : "").append(column.title);
        }
    }
    return header + "\r\n";
}

void AppendCsvRow(std::string& out, const StoredWeighing& weighing, bool seals) {
    // A NULL is written as an empty field.
    const auto text = [](const std::optional<std::string>& field) {
        return field ? std::string_view(*field) : std::string_view();
    };
    const std::string_view time = text(weighing.time);
    const std::optional<protocol::IsoFields> clock = protocol::ReadIsoFields(time);
    bool first = true;
    for (const ExportColumn& column : ExportColumns(seals)) {
        if (column.title == nullptr) {
            continue;
        }
        out.append(std::exchange(first, false) ? "" : ";");
        switch (column.field) {
            case ExportField::kId:
                AppendCsvField(out, text(weighing.id));
                break;
            case ExportField::kStation:
                AppendCsvField(out, text(weighing.station));
                break;
            case ExportField::kScale:
                out.append(std::to_string(weighing.scale));
                break;
            case ExportField::kDate:
                if (clock) {
                    out.append(DateText(*clock));
                } else {
                    AppendCsvField(out, time);  // a time of another shape, as it is
                }
                break;
            case ExportField::kClock:
                out.append(clock ? TimeText(*clock) : "");
                break;
            case ExportField::kReading:
                if (const std::string_view reading = text(weighing.reading);
                    ReadingNumber(reading)) {
                    out.append(DecimalComma(std::string(reading)));
                } else {
                    AppendCsvField(out, reading);
                }
                break;
            case ExportField::kWeight:
                out.append(DecimalComma(weighing.weight.value_or("")));
                break;
            case ExportField::kUnit:
                AppendCsvField(out, weighing.weight ? text(weighing.unit) : "");
                break;
            case ExportField::kTime:
                break;
            case ExportField::kLine:
                AppendCsvField(out, text(weighing.line));
                break;
            case ExportField::kSeal:
                AppendCsvField(out, text(weighing.seal));
                break;
        }
    }
    out.append("\r\n");
}

void AppendJsonRow(std::string& out, const StoredWeighing& weighing, bool first, bool seals) {
    Json row = Json::object();
    for (const ExportColumn& column : ExportColumns(seals)) {
        if (column.key == nullptr) {
            continue;
        }
        Json& value = row[column.key];
        switch (column.field) {
            case ExportField::kId:
                value = OrNull(weighing.id);
                break;
            case ExportField::kStation:
                value = OrNull(weighing.station);
                break;
            case ExportField::kScale:
                value = weighing.scale;
                break;
            case ExportField::kReading:
                value = OrNull(weighing.reading);
                break;
            case ExportField::kWeight:
                value = Weight(weighing.weight);
                break;
            case ExportField::kUnit:
                value = OrNull(weighing.unit);
                break;
            case ExportField::kTime:
                value = OrNull(weighing.time);
                break;
            case ExportField::kLine:
                value = OrNull(weighing.line);
                break;
            case ExportField::kSeal:
                value = OrNull(weighing.seal);
                break;
            case ExportField::kDate:
            case ExportField::kClock:
                break;
        }
    }
    out.append(first ? "" : ",").append(Dump(row));
}

}  // namespace station::ledger
